// The AT-SPI side as a screen reader's messages meet it: the wire format read back as written,
// the calls answered from a published tree, and what any client on the bus may send: cut,
// malformed or mistyped messages get an error or nothing, never a crash or a wrong action.
#include "platform/linux/atspi/AtspiServer.h"
#include "platform/linux/atspi/DBusReader.h"
#include "platform/linux/atspi/DBusWriter.h"

#include <gtest/gtest.h>

namespace {

using namespace platform;
using namespace platform::atspi;

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

} // namespace
