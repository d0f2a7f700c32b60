#include "platform/linux/atspi/DBusConnection.h"

#include "platform/linux/atspi/DBusReader.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace platform::linux::atspi {

namespace {

std::string Unescape(const std::string& value)
{
    std::string out;
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (value[i] == '%' && i + 2 < value.size()) {
            out.push_back(static_cast<char>(std::stoi(value.substr(i + 1, 2), nullptr, 16)));
            i += 2;
        } else {
            out.push_back(value[i]);
        }
    }
    return out;
}

int RemainingMs(std::chrono::steady_clock::time_point deadline)
{
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

} // namespace

std::vector<DBusConnection::Endpoint> DBusConnection::ParseAddress(const std::string& address)
{
    std::vector<Endpoint> endpoints;
    std::size_t start = 0;
    while (start <= address.size()) {
        std::size_t end = address.find(';', start);
        std::string entry = address.substr(start, end == std::string::npos ? std::string::npos : end - start);
        start = end == std::string::npos ? address.size() + 1 : end + 1;
        if (entry.rfind("unix:", 0) != 0)
            continue;
        std::string keys = entry.substr(5);
        std::size_t at = 0;
        while (at <= keys.size()) {
            std::size_t comma = keys.find(',', at);
            std::string pair = keys.substr(at, comma == std::string::npos ? std::string::npos : comma - at);
            at = comma == std::string::npos ? keys.size() + 1 : comma + 1;
            std::size_t equals = pair.find('=');
            if (equals == std::string::npos)
                continue;
            std::string key = pair.substr(0, equals);
            if (key == "path" || key == "abstract") {
                try {
                    endpoints.push_back({ Unescape(pair.substr(equals + 1)), key == "abstract" });
                } catch (const std::exception&) {
                    // A malformed escape: this entry cannot be reached.
                }
            }
        }
    }
    return endpoints;
}

DBusConnection::DBusConnection(linux::UniqueFd fd)
    : m_fd(std::move(fd))
{
}

std::optional<DBusConnection> DBusConnection::Open(const std::string& address, int timeoutMs)
{
    for (const Endpoint& endpoint : ParseAddress(address)) {
        linux::UniqueFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
        if (!fd)
            return std::nullopt;
        sockaddr_un socketAddress {};
        socketAddress.sun_family = AF_UNIX;
        std::size_t offset = endpoint.abstract ? 1 : 0;
        if (endpoint.path.empty() || endpoint.path.size() + offset >= sizeof socketAddress.sun_path)
            continue;
        std::memcpy(socketAddress.sun_path + offset, endpoint.path.data(), endpoint.path.size());
        auto length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + offset + endpoint.path.size() + (endpoint.abstract ? 0 : 1));
        if (::connect(fd.Get(), reinterpret_cast<const sockaddr*>(&socketAddress), length) != 0 && errno != EINPROGRESS)
            continue;
        DBusConnection connection(std::move(fd));
        if (!connection.Authenticate(timeoutMs))
            continue;
        auto hello = connection.Call(DBusMessage::MethodCall("org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "Hello"), timeoutMs);
        if (!hello || hello->signature != "s")
            continue;
        DBusReader reader(hello->bytes, hello->bodyOffset, hello->bytes.size());
        connection.m_uniqueName = reader.String();
        if (reader.Failed())
            continue;
        return connection;
    }
    return std::nullopt;
}

bool DBusConnection::WaitReadable(int timeoutMs)
{
    pollfd fd { m_fd.Get(), POLLIN, 0 };
    int ready = ::poll(&fd, 1, timeoutMs);
    return ready > 0 && (fd.revents & (POLLIN | POLLHUP | POLLERR));
}

bool DBusConnection::WriteAll(const std::vector<std::uint8_t>& bytes)
{
    std::size_t done = 0;
    while (done < bytes.size()) {
        ssize_t written = ::send(m_fd.Get(), bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (written > 0) {
            done += static_cast<std::size_t>(written);
            continue;
        }
        if (written < 0 && errno == EINTR)
            continue;
        if (written < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            // The bus reads quickly; a full socket waits a little, then counts as lost.
            pollfd fd { m_fd.Get(), POLLOUT, 0 };
            if (::poll(&fd, 1, 2000) > 0)
                continue;
        }
        m_fd.Reset();
        return false;
    }
    return true;
}

bool DBusConnection::Authenticate(int timeoutMs)
{
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    // Connecting is non-blocking: wait until the socket may be written.
    pollfd writable { m_fd.Get(), POLLOUT, 0 };
    if (::poll(&writable, 1, timeoutMs) <= 0 || (writable.revents & (POLLERR | POLLHUP)))
        return false;
    char uid[16];
    std::snprintf(uid, sizeof uid, "%u", static_cast<unsigned>(::geteuid()));
    std::string command = std::string(1, '\0') + "AUTH EXTERNAL ";
    for (const char* c = uid; *c; ++c) {
        char hex[3];
        std::snprintf(hex, sizeof hex, "%02x", static_cast<unsigned char>(*c));
        command += hex;
    }
    command += "\r\n";
    if (!WriteAll(std::vector<std::uint8_t>(command.begin(), command.end())))
        return false;
    std::string line;
    while (line.find("\r\n") == std::string::npos) {
        if (!WaitReadable(RemainingMs(deadline)))
            return false;
        char buffer[256];
        ssize_t got = ::recv(m_fd.Get(), buffer, sizeof buffer, 0);
        if (got <= 0 && !(got < 0 && (errno == EINTR || errno == EAGAIN)))
            return false;
        if (got > 0)
            line.append(buffer, static_cast<std::size_t>(got));
        if (line.size() > 4096)
            return false;
    }
    if (line.rfind("OK ", 0) != 0)
        return false;
    std::string begin = "BEGIN\r\n";
    return WriteAll(std::vector<std::uint8_t>(begin.begin(), begin.end()));
}

std::uint32_t DBusConnection::Send(const DBusMessage& message)
{
    if (!IsOpen())
        return 0;
    std::uint32_t serial = m_nextSerial++;
    if (!WriteAll(message.Encode(serial)))
        return 0;
    return serial;
}

bool DBusConnection::ReadAvailable()
{
    if (!IsOpen())
        return false;
    for (;;) {
        std::uint8_t buffer[16384];
        ssize_t got = ::recv(m_fd.Get(), buffer, sizeof buffer, 0);
        if (got > 0) {
            m_incoming.insert(m_incoming.end(), buffer, buffer + got);
            continue;
        }
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            break;
        m_fd.Reset(); // closed by the bus, or broken
        break;
    }
    TakeMessages();
    return IsOpen();
}

void DBusConnection::TakeMessages()
{
    for (;;) {
        auto length = DBusMessage::WireLength(m_incoming.data(), m_incoming.size());
        if (!length) {
            m_fd.Reset(); // a stream we cannot follow: give the connection up
            m_incoming.clear();
            return;
        }
        if (*length == 0 || *length > m_incoming.size())
            return;
        std::vector<std::uint8_t> wire(m_incoming.begin(), m_incoming.begin() + static_cast<std::ptrdiff_t>(*length));
        m_incoming.erase(m_incoming.begin(), m_incoming.begin() + static_cast<std::ptrdiff_t>(*length));
        if (auto message = DBusMessage::Decode(std::move(wire)))
            m_received.push_back(std::move(*message));
    }
}

std::optional<DBusMessage> DBusConnection::Next()
{
    if (m_received.empty())
        return std::nullopt;
    DBusMessage message = std::move(m_received.front());
    m_received.pop_front();
    return message;
}

std::optional<DBusMessage> DBusConnection::Call(const DBusMessage& message, int timeoutMs)
{
    std::uint32_t serial = Send(message);
    if (!serial)
        return std::nullopt;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        for (auto it = m_received.begin(); it != m_received.end(); ++it) {
            if (it->replySerial != serial || (it->type != DBusMessage::Type::MethodReturn && it->type != DBusMessage::Type::Error))
                continue;
            DBusMessage reply = std::move(*it);
            m_received.erase(it);
            if (reply.type == DBusMessage::Type::Error)
                return std::nullopt;
            return reply;
        }
        int left = RemainingMs(deadline);
        if (left == 0 || !WaitReadable(left) || !ReadAvailable())
            return std::nullopt;
    }
}

} // namespace platform::linux::atspi
