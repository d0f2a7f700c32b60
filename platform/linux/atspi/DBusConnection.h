#pragma once

#include "platform/linux/atspi/DBusMessage.h"
#include "platform/linux/UniqueFd.h"

#include <deque>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace platform::linux::atspi {

// A client connection to one D-Bus bus over a Unix socket: EXTERNAL authentication as the
// thread's effective user, Hello, then messages in both directions. Used from one thread.
class DBusConnection {
public:
    // Connects to the first usable "unix:path=" or "unix:abstract=" entry of a bus address;
    // nullopt when none answers or authentication fails.
    static std::optional<DBusConnection> Open(const std::string& address, int timeoutMs);

    DBusConnection(DBusConnection&&) = default;
    DBusConnection& operator=(DBusConnection&&) = default;

    const std::string& UniqueName() const { return m_uniqueName; }
    int Fd() const { return m_fd.Get(); }

    // Queues and writes the message; returns its serial, 0 when the connection is lost.
    std::uint32_t Send(const DBusMessage& message);
    // Calls and waits for the reply, keeping other messages for Next(); nullopt on an error
    // reply, timeout or lost connection.
    std::optional<DBusMessage> Call(const DBusMessage& message, int timeoutMs);
    // Reads what the socket has without blocking; false when the connection is gone.
    bool ReadAvailable();
    // The next complete message received, if any.
    std::optional<DBusMessage> Next();
    bool IsOpen() const { return m_fd.Get() >= 0; }

    // "unix:path=/run/user/1000/bus" for the parts of an address we can reach.
    struct Endpoint {
        std::string path;
        bool abstract = false;
    };
    static std::vector<Endpoint> ParseAddress(const std::string& address);

private:
    explicit DBusConnection(linux::UniqueFd fd);
    bool Authenticate(int timeoutMs);
    bool WaitReadable(int timeoutMs);
    bool WriteAll(const std::vector<std::uint8_t>& bytes);
    void TakeMessages();

    linux::UniqueFd m_fd;
    std::uint32_t m_nextSerial = 1;
    std::string m_uniqueName;
    std::vector<std::uint8_t> m_incoming;
    std::deque<DBusMessage> m_received;
};

} // namespace platform::linux::atspi
