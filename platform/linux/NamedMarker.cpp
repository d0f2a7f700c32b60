#include "platform/NamedMarker.h"

#include "platform/files/Utf8.h"
#include "platform/linux/UniqueFd.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

namespace platform {

namespace {

using linux::UniqueFd;

// Abstract socket names vanish with their process, so a crashed holder leaves nothing behind.
socklen_t AddressFor(const std::wstring& name, sockaddr_un& address)
{
    std::memset(&address, 0, sizeof address);
    address.sun_family = AF_UNIX;
    std::string path = ToUtf8(name) + "." + std::to_string(::getuid());
    size_t length = std::min(path.size(), sizeof address.sun_path - 1);
    std::memcpy(address.sun_path + 1, path.data(), length);
    return static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + length);
}

bool WaitReadable(int fd, int timeoutMs)
{
    pollfd entry { fd, POLLIN, 0 };
    int ready;
    do {
        ready = ::poll(&entry, 1, timeoutMs);
    } while (ready < 0 && errno == EINTR);
    return ready > 0;
}

std::string ReadLine(int fd, int timeoutMs)
{
    std::string line;
    char c;
    while (line.size() < 4096 && WaitReadable(fd, timeoutMs)) {
        ssize_t n = ::read(fd, &c, 1);
        if (n <= 0 || c == '\n')
            break;
        line.push_back(c);
    }
    return line;
}

class SocketMarker final : public NamedMarker {
public:
    SocketMarker(UniqueFd socket, bool existed)
        : m_socket(std::move(socket))
        , m_existed(existed)
        , m_stop(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK))
    {
    }

    ~SocketMarker() override
    {
        if (m_thread.joinable()) {
            std::uint64_t one = 1;
            [[maybe_unused]] ssize_t written = ::write(m_stop.Get(), &one, sizeof one);
            m_thread.join();
        }
    }

    bool AlreadyExisted() const override { return m_existed; }

    void ServeBringForward(std::function<void(const std::wstring&)> handler) override
    {
        if (m_existed || m_socket.Get() < 0 || m_thread.joinable())
            return;
        if (::listen(m_socket.Get(), 4) != 0)
            return;
        m_thread = std::thread([this, handler = std::move(handler)] { Serve(handler); });
    }

private:
    void Serve(const std::function<void(const std::wstring&)>& handler)
    {
        for (;;) {
            pollfd entries[] = { { m_socket.Get(), POLLIN, 0 }, { m_stop.Get(), POLLIN, 0 } };
            if (::poll(entries, 2, -1) < 0) {
                if (errno == EINTR)
                    continue;
                return;
            }
            if (entries[1].revents)
                return;
            UniqueFd client(::accept4(m_socket.Get(), nullptr, nullptr, SOCK_CLOEXEC));
            if (client.Get() < 0)
                continue;
            std::string caption = ReadLine(client.Get(), 1000);
            handler(FromUtf8(caption));
            [[maybe_unused]] ssize_t written = ::send(client.Get(), "1\n", 2, MSG_NOSIGNAL);
        }
    }

    UniqueFd m_socket;
    bool m_existed;
    UniqueFd m_stop;
    std::thread m_thread;
};

} // namespace

std::unique_ptr<NamedMarker> NamedMarker::Create(const std::wstring& name)
{
    UniqueFd socket(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_un address;
    socklen_t length = AddressFor(name, address);
    if (socket.Get() >= 0 && ::bind(socket.Get(), reinterpret_cast<sockaddr*>(&address), length) == 0)
        return std::make_unique<SocketMarker>(std::move(socket), false);
    bool existed = errno == EADDRINUSE;
    return std::make_unique<SocketMarker>(UniqueFd(), existed);
}

bool BringWindowForward(const std::wstring& markerName, const std::wstring& caption)
{
    UniqueFd socket(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_un address;
    socklen_t length = AddressFor(markerName, address);
    if (socket.Get() < 0 || ::connect(socket.Get(), reinterpret_cast<sockaddr*>(&address), length) != 0)
        return false;
    std::string request = ToUtf8(caption) + "\n";
    if (::send(socket.Get(), request.data(), request.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(request.size()))
        return false;
    return ReadLine(socket.Get(), 1500) == "1";
}

} // namespace platform
