#include "platform/linux/UniqueFd.h"

#include <unistd.h>

namespace platform::linux {

void UniqueFd::Reset(int fd)
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = fd;
}

} // namespace platform::linux
