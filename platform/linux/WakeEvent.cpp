#include "platform/linux/WakeEvent.h"

#include <cstdint>
#include <sys/eventfd.h>
#include <unistd.h>

namespace platform::linux {

WakeEvent::WakeEvent()
    : m_fd(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC))
{
}

WakeEvent::~WakeEvent()
{
    if (m_fd >= 0)
        close(m_fd);
}

void WakeEvent::Signal()
{
    std::uint64_t one = 1;
    // A full counter (EAGAIN) still means "set": nothing to do about a failed write.
    [[maybe_unused]] auto written = write(m_fd, &one, sizeof one);
}

bool WakeEvent::Clear()
{
    std::uint64_t count = 0;
    return read(m_fd, &count, sizeof count) == static_cast<ssize_t>(sizeof count);
}

} // namespace platform::linux
