// The AT-SPI side as a screen reader's messages meet it: the wire format read back as written,
// the calls answered from a published tree, and what any client on the bus may send: cut,
// malformed or mistyped messages get an error or nothing, never a crash or a wrong action.
#include "platform/linux/atspi/AtspiKeyEvent.h"
#include "platform/linux/atspi/AtspiServer.h"
#include "platform/linux/atspi/DBusReader.h"
#include "platform/linux/atspi/DBusWriter.h"

#include <algorithm>
#include <gtest/gtest.h>

namespace {

using namespace platform;
using namespace platform::linux::atspi;

constexpr std::uint64_t kWindow = 0x2a00001;

AccessibleTree LauncherTree()
{
    AccessibleTree tree;
    AccessibleNode window;
    window.role = AccessibleRole::Frame;
    window.name = L"Varn MID";
    window.states = AccessibleState::Active;
    window.rect = { 100, 50, 640, 420 };
    tree.nodes.push_back(window);
    AccessibleNode button;
    button.id = 1002;
    button.role = AccessibleRole::PushButton;
    button.name = L"Minimize";
    button.states = AccessibleState::Focusable;
    button.action = AccessibleAction::Press;
    button.rect = { 500, 74, 112, 32 };
    tree.nodes.push_back(button);
    AccessibleNode hidden = button;
    hidden.id = 1016;
    hidden.states = AccessibleState::Invisible;
    tree.nodes.push_back(hidden);
    return tree;
}

// A call as it arrives from the bus: encoded, then decoded.
DBusMessage Arrived(const std::string& path, const std::string& interface, const std::string& member,
    const std::string& signature, const DBusWriter& body)
{
    DBusMessage call = DBusMessage::MethodCall(":1.0", path, interface, member);
    call.signature = signature;
    call.bytes = body.Bytes();
    auto decoded = DBusMessage::Decode(call.Encode(5));
    EXPECT_TRUE(decoded.has_value());
    if (!decoded)
        return {};
    decoded->sender = ":1.7"; // the bus names the caller
    return *decoded;
}

DBusMessage Reencoded(const DBusMessage& reply)
{
    auto decoded = DBusMessage::Decode(reply.Encode(9));
    EXPECT_TRUE(decoded.has_value());
    return decoded ? *decoded : DBusMessage {};
}

class AtspiServerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::vector<DBusMessage> signals;
        m_server.SetBusName(":1.3");
        m_server.Publish(kWindow, LauncherTree(), {}, signals);
        m_server.SetShown(kWindow, true, signals);
    }
    std::string ButtonPath() const { return "/org/a11y/atspi/accessible/w2a00001_1002"; }

    AtspiServer m_server;
};

TEST_F(AtspiServerTest, AnswersAReadersCallsFromThePublishedTree)
{
    DBusWriter none;
    auto children = m_server.Answer(Arrived(AtspiServer::RootPath, "org.a11y.atspi.Accessible", "GetChildren", "", none));
    ASSERT_TRUE(children);
    DBusMessage reply = Reencoded(*children);
    EXPECT_EQ(reply.signature, "a(so)");
    EXPECT_EQ(reply.replySerial, 5u);
    EXPECT_EQ(reply.destination, ":1.7");
    DBusReader reader(reply.bytes, reply.bodyOffset, reply.bytes.size());
    std::size_t end = reader.BeginArray(8);
    reader.BeginStruct();
    EXPECT_EQ(reader.String(), ":1.3");
    EXPECT_EQ(reader.ObjectPath(), "/org/a11y/atspi/accessible/w2a00001_0");
    EXPECT_EQ(reader.Offset(), end) << "one window, one child";

    DBusWriter screen;
    screen.Uint32(1); // window coordinates
    auto extents = m_server.Answer(Arrived(ButtonPath(), "org.a11y.atspi.Component", "GetExtents", "u", screen));
    ASSERT_TRUE(extents);
    DBusMessage place = Reencoded(*extents);
    DBusReader placeReader(place.bytes, place.bodyOffset, place.bytes.size());
    placeReader.BeginStruct();
    EXPECT_EQ(placeReader.Int32(), 400);
    EXPECT_EQ(placeReader.Int32(), 24);

    DBusWriter property;
    property.String("org.a11y.atspi.Accessible");
    property.String("Name");
    auto name = m_server.Answer(Arrived(ButtonPath(), "org.freedesktop.DBus.Properties", "Get", "ss", property));
    ASSERT_TRUE(name);
    DBusMessage named = Reencoded(*name);
    DBusReader nameReader(named.bytes, named.bodyOffset, named.bytes.size());
    EXPECT_EQ(nameReader.Signature(), "s");
    EXPECT_EQ(nameReader.String(), "Minimize");

    DBusWriter first;
    first.Int32(0);
    auto done = m_server.Answer(Arrived(ButtonPath(), "org.a11y.atspi.Action", "DoAction", "i", first));
    ASSERT_TRUE(done);
    auto actions = m_server.TakeActions();
    ASSERT_EQ(actions.size(), 1u);
    EXPECT_EQ(actions[0].window, kWindow);
    EXPECT_EQ(actions[0].node, 1002u);
    // A hidden button's action is refused, as a click on it would be.
    m_server.Answer(Arrived("/org/a11y/atspi/accessible/w2a00001_1016", "org.a11y.atspi.Action", "DoAction", "i", first));
    EXPECT_TRUE(m_server.TakeActions().empty());
}

TEST_F(AtspiServerTest, CutMalformedOrMistypedMessagesDoNoHarm)
{
    DBusWriter body;
    body.String("org.a11y.atspi.Accessible");
    body.String("Name");
    DBusMessage call = DBusMessage::MethodCall(":1.0", ButtonPath(), "org.freedesktop.DBus.Properties", "Get");
    call.signature = "ss";
    call.bytes = body.Bytes();
    std::vector<std::uint8_t> wire = call.Encode(3);
    for (std::size_t cut = 0; cut < wire.size(); ++cut) {
        std::vector<std::uint8_t> part(wire.begin(), wire.begin() + static_cast<std::ptrdiff_t>(cut));
        EXPECT_FALSE(DBusMessage::Decode(part)) << "a message cut at byte " << cut;
    }
    // A body whose length runs past the message: the length field lies.
    std::vector<std::uint8_t> lying = wire;
    lying[4] = 0xFF;
    EXPECT_FALSE(DBusMessage::Decode(lying));
    EXPECT_FALSE(DBusMessage::WireLength(lying.data(), lying.size()).value_or(1) == lying.size());

    // The body says "ss" but holds a string whose length runs off its end.
    DBusWriter broken;
    broken.Uint32(1000);
    auto answer = m_server.Answer(Arrived(ButtonPath(), "org.freedesktop.DBus.Properties", "Get", "ss", broken));
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->type, DBusMessage::Type::Error);

    // Calls on paths that name no node, and actions with a wrong index, act on nothing.
    DBusWriter index;
    index.Int32(5);
    for (const char* path : { "/org/a11y/atspi/accessible/w2a00001_77", "/org/a11y/atspi/accessible/wzz", "/elsewhere" }) {
        auto refused = m_server.Answer(Arrived(path, "org.a11y.atspi.Action", "DoAction", "i", index));
        ASSERT_TRUE(refused);
        EXPECT_EQ(refused->type, DBusMessage::Type::Error) << path;
    }
    m_server.Answer(Arrived(ButtonPath(), "org.a11y.atspi.Action", "DoAction", "i", index));
    m_server.Answer(Arrived(ButtonPath(), "org.a11y.atspi.Action", "DoAction", "", DBusWriter {}));
    EXPECT_TRUE(m_server.TakeActions().empty());
}

// The reference a reply carries: (bus name, path).
std::pair<std::string, std::string> ReferenceIn(const DBusMessage& reply)
{
    DBusMessage decoded = Reencoded(reply);
    DBusReader reader(decoded.bytes, decoded.bodyOffset, decoded.bytes.size());
    if (decoded.signature == "v")
        reader.Signature();
    reader.BeginStruct();
    std::string name = reader.String();
    return { name, reader.ObjectPath() };
}

// Readers take a window for an application's only when its parent and application are the
// application object (with our bus name), not the registry's desktop, whose root shares the path.
TEST_F(AtspiServerTest, AWindowBelongsToTheApplicationAndTheApplicationToTheDesktop)
{
    m_server.SetDesktop(":1.0", AtspiServer::RootPath);
    const std::string window = "/org/a11y/atspi/accessible/w2a00001_0";
    DBusWriter parent;
    parent.String("org.a11y.atspi.Accessible");
    parent.String("Parent");
    auto windowParent = m_server.Answer(Arrived(window, "org.freedesktop.DBus.Properties", "Get", "ss", parent));
    ASSERT_TRUE(windowParent);
    EXPECT_EQ(ReferenceIn(*windowParent), std::make_pair(std::string(":1.3"), std::string(AtspiServer::RootPath)));
    auto application = m_server.Answer(Arrived(window, "org.a11y.atspi.Accessible", "GetApplication", "", DBusWriter {}));
    ASSERT_TRUE(application);
    EXPECT_EQ(ReferenceIn(*application), std::make_pair(std::string(":1.3"), std::string(AtspiServer::RootPath)));
    auto rootParent = m_server.Answer(Arrived(AtspiServer::RootPath, "org.freedesktop.DBus.Properties", "Get", "ss", parent));
    ASSERT_TRUE(rootParent);
    EXPECT_EQ(ReferenceIn(*rootParent), std::make_pair(std::string(":1.0"), std::string(AtspiServer::RootPath)));
}

TEST_F(AtspiServerTest, EventsNameOnlyWhatTheObjectsImplement)
{
    AccessibleTree tree = LauncherTree();
    AccessibleNode list;
    list.id = 2001;
    list.role = AccessibleRole::ComboBox;
    list.hasValue = true;
    list.valueText = L"E (1906 MBytes)";
    tree.nodes.push_back(list);
    AccessibleNode bar;
    bar.id = 2002;
    bar.role = AccessibleRole::ProgressBar;
    bar.hasValue = true;
    tree.nodes.push_back(bar);
    std::vector<DBusMessage> signals;
    m_server.Publish(kWindow, tree, {}, signals);
    tree.nodes[3].value = 1;
    tree.nodes[4].value = 40;
    signals.clear();
    m_server.Publish(kWindow, tree, { { AccessibleEventKind::ValueChanged, 2001 }, { AccessibleEventKind::ValueChanged, 2002 } }, signals);
    auto valueChangesOf = [&](const std::string& node) {
        return std::count_if(signals.begin(), signals.end(), [&](const DBusMessage& signal) {
            return signal.member == "ValueChanged" && signal.path == "/org/a11y/atspi/accessible/w2a00001_" + node;
        });
    };
    EXPECT_EQ(valueChangesOf("2001"), 0) << "a list has no Value interface";
    EXPECT_EQ(valueChangesOf("2002"), 1);

    // A window that gets the keyboard back (its dialog closed) says where its focus is.
    tree.nodes[1].states |= AccessibleState::Focused;
    tree.nodes[0].states &= ~AccessibleState::Active;
    m_server.Publish(kWindow, tree, {}, signals);
    tree.nodes[0].states |= AccessibleState::Active;
    signals.clear();
    m_server.Publish(kWindow, tree, { { AccessibleEventKind::StateChanged, 0, AccessibleState::Active, true } }, signals);
    auto activate = std::find_if(signals.begin(), signals.end(), [](const DBusMessage& signal) { return signal.member == "Activate"; });
    auto focus = std::find_if(signals.begin(), signals.end(), [](const DBusMessage& signal) {
        return signal.interface == "org.a11y.atspi.Event.Focus";
    });
    ASSERT_NE(activate, signals.end());
    ASSERT_NE(focus, signals.end());
    EXPECT_LT(activate - signals.begin(), focus - signals.begin());
    EXPECT_EQ(focus->path, ButtonPath());
}

// The registry takes a key only in the shape it reads: 16-bit code and modifiers.
TEST(AtspiKeyEventTest, AKeyGoesToTheRegistryAsItsDeviceEvent)
{
    AtspiKeyEvent key;
    key.pressed = false;
    key.keysym = 0xFF8D; // KP_Enter
    key.keycode = 104;
    key.modifiers = 1u << 14; // NumLock
    key.time = 123456;
    DBusMessage call = key.NotifyListenersCall();
    EXPECT_EQ(call.destination, "org.a11y.atspi.Registry");
    EXPECT_EQ(call.member, "NotifyListenersSync");
    EXPECT_EQ(call.signature, "(uinnisb)");
    auto decoded = DBusMessage::Decode(call.Encode(3));
    ASSERT_TRUE(decoded);
    DBusReader reader(decoded->bytes, decoded->bodyOffset, decoded->bytes.size());
    reader.BeginStruct();
    EXPECT_EQ(reader.Uint32(), 1u); // released
    EXPECT_EQ(reader.Int32(), 0xFF8D);
    std::size_t codeAt = reader.Offset();
    reader.Skip("n");
    reader.Skip("n");
    EXPECT_EQ(decoded->bytes[codeAt], 104);
    EXPECT_EQ(decoded->bytes[codeAt + 3], 0x40); // bit 14 of the modifiers
    EXPECT_EQ(reader.Int32(), 123456);
    EXPECT_EQ(reader.String(), "");
    EXPECT_FALSE(reader.Boolean()); // types nothing
    EXPECT_FALSE(reader.Failed());
}

} // namespace
