#include "platform/linux/OwnExecutable.h"

#include <climits>
#include <unistd.h>

namespace platform::linux {

std::string OwnExecutablePath()
{
    char path[PATH_MAX];
    ssize_t length = ::readlink("/proc/self/exe", path, sizeof path - 1);
    return length > 0 ? std::string(path, static_cast<size_t>(length)) : std::string();
}

} // namespace platform::linux
