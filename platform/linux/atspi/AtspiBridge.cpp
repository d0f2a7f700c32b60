#include "platform/linux/atspi/AtspiBridge.h"

#include "platform/linux/atspi/DBusConnection.h"
#include "platform/linux/atspi/DBusReader.h"
#include "platform/linux/atspi/DBusWriter.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform::linux::atspi {

namespace {

constexpr int kCallTimeoutMs = 1500;
constexpr const char* kBusName = "org.a11y.Bus";
constexpr const char* kBusPath = "/org/a11y/bus";

std::optional<bool> ReadBooleanProperty(DBusConnection& session, const char* interface, const char* name)
{
    DBusMessage get = DBusMessage::MethodCall(kBusName, kBusPath, "org.freedesktop.DBus.Properties", "Get");
    get.signature = "ss";
    DBusWriter writer;
    writer.String(interface);
    writer.String(name);
    get.bytes = writer.Take();
    auto reply = session.Call(get, kCallTimeoutMs);
    if (!reply || reply->signature != "v")
        return std::nullopt;
    DBusReader reader(reply->bytes, reply->bodyOffset, reply->bytes.size());
    if (reader.Signature() != "b")
        return std::nullopt;
    bool value = reader.Boolean();
    return reader.Failed() ? std::nullopt : std::optional<bool>(value);
}

// As toolkits decide it: a screen reader (or anything else) has turned accessibility on.
// nullopt when the session has no accessibility bus service at all.
std::optional<bool> AccessibilityEnabled(DBusConnection& session)
{
    auto enabled = ReadBooleanProperty(session, "org.a11y.Status", "IsEnabled");
    if (!enabled)
        return std::nullopt;
    if (*enabled)
        return true;
    return ReadBooleanProperty(session, "org.a11y.Status", "ScreenReaderEnabled").value_or(false);
}

std::string AccessibilityBusAddress(DBusConnection& session)
{
    auto reply = session.Call(DBusMessage::MethodCall(kBusName, kBusPath, kBusName, "GetAddress"), kCallTimeoutMs);
    if (!reply || reply->signature != "s")
        return {};
    DBusReader reader(reply->bytes, reply->bodyOffset, reply->bytes.size());
    std::string address = reader.String();
    return reader.Failed() ? std::string() : address;
}

void AddMatch(DBusConnection& connection, const std::string& rule)
{
    DBusMessage match = DBusMessage::MethodCall("org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "AddMatch");
    match.signature = "s";
    match.flags = DBusMessage::NoReplyExpected;
    DBusWriter writer;
    writer.String(rule);
    match.bytes = writer.Take();
    connection.Send(match);
}

} // namespace

AtspiBridge::Options AtspiBridge::FromEnvironment(std::string rootWindowAddress)
{
    Options options;
    options.rootWindowAddress = std::move(rootWindowAddress);
    if (const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS"); address && *address)
        options.sessionBusAddress = address;
    // Without the variable the session bus lies where the user's login put it.
    if (options.sessionBusAddress.empty()) {
        std::string runtime;
        if (const char* dir = std::getenv("XDG_RUNTIME_DIR"); dir && *dir)
            runtime = dir;
        struct stat info {};
        if (!runtime.empty() && ::stat((runtime + "/bus").c_str(), &info) == 0 && S_ISSOCK(info.st_mode))
            options.sessionBusAddress = "unix:path=" + runtime + "/bus";
    }
    return options;
}

AtspiBridge::AtspiBridge(Options options, std::function<void()> wake)
    : m_options(std::move(options))
    , m_wake(std::move(wake))
{
    if (m_signal.IsValid())
        m_thread = std::thread([this] { Run(); });
}

AtspiBridge::~AtspiBridge()
{
    m_stop = true;
    m_signal.Signal();
    if (m_thread.joinable())
        m_thread.join();
}

void AtspiBridge::Publish(std::uint64_t window, const AccessibleTree& tree, const std::vector<AccessibleEvent>& events)
{
    std::lock_guard lock(m_mutex);
    std::size_t before = m_outgoing.size();
    m_server.Publish(window, tree, events, m_outgoing);
    if (m_outgoing.size() != before)
        m_signal.Signal();
}

void AtspiBridge::SetShown(std::uint64_t window, bool shown)
{
    std::lock_guard lock(m_mutex);
    std::size_t before = m_outgoing.size();
    m_server.SetShown(window, shown, m_outgoing);
    if (m_outgoing.size() != before)
        m_signal.Signal();
}

void AtspiBridge::Remove(std::uint64_t window)
{
    std::lock_guard lock(m_mutex);
    std::size_t before = m_outgoing.size();
    m_server.Remove(window, m_outgoing);
    if (m_outgoing.size() != before)
        m_signal.Signal();
}

std::vector<AtspiServer::Action> AtspiBridge::TakeActions()
{
    std::lock_guard lock(m_mutex);
    return m_server.TakeActions();
}

bool AtspiBridge::KeyConsumedByReader(const AtspiKeyEvent& key, int timeoutMs)
{
    if (!m_registered || m_keyAnswerOverdue)
        return false;
    auto consumed = std::make_shared<std::promise<bool>>();
    std::future<bool> answer = consumed->get_future();
    {
        std::lock_guard lock(m_mutex);
        m_keyCalls.push_back({ key.NotifyListenersCall(), std::move(consumed) });
    }
    m_signal.Signal();
    if (answer.wait_for(std::chrono::milliseconds(timeoutMs)) != std::future_status::ready) {
        m_keyAnswerOverdue = true;
        return false;
    }
    return answer.get();
}

bool AtspiBridge::AnswerKeyCall(const DBusMessage& reply)
{
    auto it = m_keyAnswers.find(reply.replySerial);
    if (it == m_keyAnswers.end())
        return false;
    bool consumed = false;
    if (reply.type == DBusMessage::Type::MethodReturn && reply.signature == "b") {
        DBusReader reader(reply.bytes, reply.bodyOffset, reply.bytes.size());
        consumed = reader.Boolean() && !reader.Failed();
    }
    it->second->set_value(consumed);
    m_keyAnswers.erase(it);
    m_keyAnswerOverdue = false;
    return true;
}

void AtspiBridge::AbandonKeyCalls()
{
    for (auto& [serial, consumed] : m_keyAnswers)
        consumed->set_value(false);
    m_keyAnswers.clear();
    std::lock_guard lock(m_mutex);
    for (KeyCall& key : m_keyCalls)
        key.consumed->set_value(false);
    m_keyCalls.clear();
}

std::optional<DBusConnection> AtspiBridge::ConnectAccessibilityBus(const std::function<bool()>& stopping)
{
    if (!m_options.sessionBusAddress.empty()) {
        if (auto session = DBusConnection::Open(m_options.sessionBusAddress, kCallTimeoutMs)) {
            auto enabled = AccessibilityEnabled(*session);
            if (enabled && !*enabled) {
                // Off: wait, at no cost, for a screen reader to turn it on.
                AddMatch(*session, "type='signal',interface='org.freedesktop.DBus.Properties',member='PropertiesChanged',path='/org/a11y/bus'");
                while (enabled && !*enabled) {
                    pollfd fds[2] = { { session->Fd(), POLLIN, 0 }, { m_signal.Fd(), POLLIN, 0 } };
                    ::poll(fds, 2, -1);
                    if (stopping())
                        return std::nullopt;
                    if (fds[1].revents & POLLIN)
                        m_signal.Clear();
                    if (!(fds[0].revents & (POLLIN | POLLHUP | POLLERR)))
                        continue;
                    if (!session->ReadAvailable())
                        return std::nullopt;
                    bool changed = false;
                    while (auto message = session->Next())
                        changed |= message->type == DBusMessage::Type::Signal && message->member == "PropertiesChanged";
                    if (changed)
                        enabled = AccessibilityEnabled(*session);
                }
            }
            if (enabled && *enabled) {
                std::string address = AccessibilityBusAddress(*session);
                if (!address.empty()) {
                    if (auto bus = DBusConnection::Open(address, kCallTimeoutMs))
                        return bus;
                }
            }
        }
    }
    // No session bus, or none we can reach: the launcher also leaves the address on the screen.
    if (!m_options.rootWindowAddress.empty())
        return DBusConnection::Open(m_options.rootWindowAddress, kCallTimeoutMs);
    return std::nullopt;
}

void AtspiBridge::Run()
{
    auto stopping = [this] { return m_stop.load(); };
    auto bus = ConnectAccessibilityBus(stopping);
    if (!bus || stopping())
        return;
    Serve(*bus);
    m_registered = false;
    AbandonKeyCalls();
    std::lock_guard lock(m_mutex);
    m_server.SetBusName({});
}

void AtspiBridge::Flush(DBusConnection& bus)
{
    std::vector<DBusMessage> outgoing;
    std::vector<KeyCall> keys;
    {
        std::lock_guard lock(m_mutex);
        outgoing.swap(m_outgoing);
        keys.swap(m_keyCalls);
    }
    for (const DBusMessage& message : outgoing)
        bus.Send(message);
    for (KeyCall& key : keys) {
        std::uint32_t serial = bus.Send(key.call);
        if (serial)
            m_keyAnswers.emplace(serial, std::move(key.consumed));
        else
            key.consumed->set_value(false);
    }
}

void AtspiBridge::Serve(DBusConnection& bus)
{
    {
        std::lock_guard lock(m_mutex);
        m_server.SetBusName(bus.UniqueName());
        m_outgoing.clear(); // nothing that came before our name can be told
    }
    DBusMessage embed = DBusMessage::MethodCall("org.a11y.atspi.Registry", AtspiServer::RootPath, "org.a11y.atspi.Socket", "Embed");
    embed.signature = "(so)";
    DBusWriter writer;
    writer.BeginStruct();
    writer.String(bus.UniqueName());
    writer.ObjectPath(AtspiServer::RootPath);
    embed.bytes = writer.Take();
    std::uint32_t embedSerial = bus.Send(embed);

    while (!m_stop && bus.IsOpen()) {
        pollfd fds[2] = { { bus.Fd(), POLLIN, 0 }, { m_signal.Fd(), POLLIN, 0 } };
        if (::poll(fds, 2, -1) < 0)
            continue;
        if (fds[1].revents & POLLIN)
            m_signal.Clear();
        if (m_stop)
            break;
        if (fds[0].revents & (POLLIN | POLLHUP | POLLERR)) {
            if (!bus.ReadAvailable() && !bus.IsOpen())
                break;
        }
        bool actions = false;
        while (auto message = bus.Next()) {
            if (message->type == DBusMessage::Type::MethodReturn && message->replySerial == embedSerial) {
                DBusReader reader(message->bytes, message->bodyOffset, message->bytes.size());
                reader.BeginStruct();
                std::string name = reader.String();
                std::string path = reader.ObjectPath();
                {
                    std::lock_guard lock(m_mutex);
                    if (!reader.Failed())
                        m_server.SetDesktop(name, path);
                    // Windows already on screen are told as if they appeared now.
                    m_server.AnnounceShownWindows(m_outgoing);
                }
                m_registered = true;
                m_republish = true;
                actions = true; // wakes the UI loop, which publishes the trees
                continue;
            }
            if ((message->type == DBusMessage::Type::MethodReturn || message->type == DBusMessage::Type::Error)
                && AnswerKeyCall(*message))
                continue;
            if (message->type != DBusMessage::Type::MethodCall)
                continue;
            std::optional<DBusMessage> reply;
            {
                std::lock_guard lock(m_mutex);
                reply = m_server.Answer(*message);
                actions = actions || m_server.HasActions();
            }
            if (reply)
                bus.Send(*reply);
        }
        if (actions && m_wake)
            m_wake();
        Flush(bus);
    }
}

} // namespace platform::linux::atspi
