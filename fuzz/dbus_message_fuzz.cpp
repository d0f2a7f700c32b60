// Whatever a client on the accessibility bus sends: the bytes as one message off the socket,
// decoded and, when they make a method call, answered by the AT-SPI server over a window's tree.
// Any answer must encode again to a message that decodes.
#include "platform/linux/atspi/AtspiServer.h"

#include <cstdint>
#include <cstdlib>
#include <vector>

namespace {

void Check(bool condition)
{
    if (!condition)
        std::abort();
}

platform::AccessibleTree Tree()
{
    platform::AccessibleTree tree;
    platform::AccessibleNode window;
    window.role = platform::AccessibleRole::Dialog;
    window.name = L"Writer";
    tree.nodes.push_back(window);
    platform::AccessibleNode bar;
    bar.id = 2002;
    bar.role = platform::AccessibleRole::ProgressBar;
    bar.hasValue = true;
    bar.maximum = 150;
    tree.nodes.push_back(bar);
    platform::AccessibleNode line;
    line.id = 10005;
    line.role = platform::AccessibleRole::Label;
    line.name = L"42% completed";
    tree.nodes.push_back(line);
    platform::AccessibleNode start;
    start.id = 1015;
    start.role = platform::AccessibleRole::PushButton;
    start.action = platform::AccessibleAction::Press;
    tree.nodes.push_back(start);
    return tree;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static platform::linux::atspi::AtspiServer server = [] {
        platform::linux::atspi::AtspiServer made;
        std::vector<platform::linux::atspi::DBusMessage> signals;
        made.SetBusName(":1.1");
        made.Publish(0x400001, Tree(), {}, signals);
        made.SetShown(0x400001, true, signals);
        return made;
    }();
    auto length = platform::linux::atspi::DBusMessage::WireLength(data, size);
    if (!length || *length == 0 || *length > size)
        return 0;
    auto message = platform::linux::atspi::DBusMessage::Decode(std::vector<std::uint8_t>(data, data + *length));
    if (!message)
        return 0;
    if (auto reply = server.Answer(*message))
        Check(platform::linux::atspi::DBusMessage::Decode(reply->Encode(1)).has_value());
    server.TakeActions();
    return 0;
}
