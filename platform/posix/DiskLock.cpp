#include "platform/posix/DiskLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace platform::posix {

DiskLock::DiskLock(const std::string& diskPath)
    : m_fd(::open(diskPath.c_str(), O_RDONLY | O_CLOEXEC))
{
    if (!m_fd)
        return;
    for (int attempt = 0; attempt < 50 && ::flock(m_fd.Get(), LOCK_EX | LOCK_NB) != 0; ++attempt)
        ::usleep(100 * 1000);
}

} // namespace platform::posix
