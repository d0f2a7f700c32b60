#include "platform/linux/DeviceEventWatcher.h"

#include "platform/linux/SysfsBlockDevices.h"
#include "platform/linux/Uevent.h"

#include <cerrno>
#include <linux/netlink.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

namespace platform::linux {

namespace {

constexpr unsigned kKernelUeventGroup = 1;

UniqueFd OpenKernelUeventSocket()
{
    UniqueFd fd(::socket(AF_NETLINK, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, NETLINK_KOBJECT_UEVENT));
    if (!fd)
        return fd;
    sockaddr_nl address {};
    address.nl_family = AF_NETLINK;
    address.nl_groups = kKernelUeventGroup;
    if (::bind(fd.Get(), reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0)
        return UniqueFd();
    return fd;
}

} // namespace

DeviceEventWatcher::DeviceEventWatcher(std::shared_ptr<DriveTable> table, std::function<void(std::uint32_t)> onEvent, Options options)
    : m_table(std::move(table))
    , m_onEvent(std::move(onEvent))
    , m_options(options)
    , m_stopEvent(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK))
{
    if (m_options.listenToKernel)
        m_kernelSocket = OpenKernelUeventSocket();
    m_sticksPresent = m_table->VirtualStickFilesPresent();
    m_thread = std::thread([this] { Run(); });
}

DeviceEventWatcher::~DeviceEventWatcher()
{
    m_stopping = true;
    if (m_stopEvent) {
        std::uint64_t one = 1;
        [[maybe_unused]] auto written = ::write(m_stopEvent.Get(), &one, sizeof(one));
    }
    if (m_thread.joinable())
        m_thread.join();
}

void DeviceEventWatcher::Run()
{
    while (!m_stopping) {
        pollfd fds[2] = {};
        nfds_t count = 0;
        if (m_stopEvent)
            fds[count++] = { m_stopEvent.Get(), POLLIN, 0 };
        int kernelIndex = -1;
        if (m_kernelSocket) {
            kernelIndex = static_cast<int>(count);
            fds[count++] = { m_kernelSocket.Get(), POLLIN, 0 };
        }
        int ready = ::poll(fds, count, static_cast<int>(m_options.pollInterval.count()));
        if (m_stopping)
            return;
        if (ready < 0 && errno != EINTR)
            return;
        if (ready > 0 && kernelIndex >= 0 && (fds[kernelIndex].revents & (POLLIN | POLLERR)))
            ReadKernelMessages();
        PollVirtualSticks();
    }
}

void DeviceEventWatcher::ReadKernelMessages()
{
    bool added = false;
    bool removed = false;
    bool changed = false;
    char buffer[16384];
    for (;;) {
        sockaddr_nl sender {};
        iovec part { buffer, sizeof(buffer) };
        msghdr message {};
        message.msg_name = &sender;
        message.msg_namelen = sizeof(sender);
        message.msg_iov = &part;
        message.msg_iovlen = 1;
        ssize_t length = ::recvmsg(m_kernelSocket.Get(), &message, MSG_DONTWAIT);
        if (length < 0) {
            // Lost messages: look at the devices again instead.
            changed = changed || errno == ENOBUFS;
            if (errno == EINTR || errno == ENOBUFS)
                continue;
            break;
        }
        if (sender.nl_pid != 0 || (message.msg_flags & MSG_TRUNC))
            continue; // only the kernel speaks on this group
        auto event = Uevent::Parse(buffer, static_cast<std::size_t>(length));
        if (!event || !event->IsWholeDisk())
            continue;
        // Loop devices come and go with every image mount; they never get a letter.
        std::string name = event->devPath.substr(event->devPath.rfind('/') + 1);
        if (SysfsBlockDevices::IsSkippedName(name))
            continue;
        if (event->action == "add")
            added = true;
        else if (event->action == "remove")
            removed = true;
        else if (event->action == "change")
            changed = true;
    }
    if (!added && !removed && !changed)
        return;

    // A card put into a reader is a "change" of its disk: report what the table saw come or go.
    DriveTable::Changes changes = m_table->Rescan();
    if (removed || !changes.removed.empty())
        m_onEvent(kDeviceRemoveComplete);
    if (added || !changes.arrived.empty())
        m_onEvent(kDeviceArrival);
}

void DeviceEventWatcher::PollVirtualSticks()
{
    std::vector<bool> present = m_table->VirtualStickFilesPresent();
    if (present == m_sticksPresent)
        return;
    // Reported from the files themselves, not from the rescan: another thread's rescan may
    // already have put the stick in the table.
    bool appeared = false;
    bool vanished = false;
    for (size_t i = 0; i < present.size() && i < m_sticksPresent.size(); ++i) {
        appeared = appeared || (present[i] && !m_sticksPresent[i]);
        vanished = vanished || (!present[i] && m_sticksPresent[i]);
    }
    m_sticksPresent = std::move(present);
    m_table->Rescan();
    if (vanished)
        m_onEvent(kDeviceRemoveComplete);
    if (appeared)
        m_onEvent(kDeviceArrival);
}

} // namespace platform::linux
