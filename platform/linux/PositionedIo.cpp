#include "platform/linux/PositionedIo.h"

#include <cerrno>
#include <unistd.h>

namespace platform::linux {

namespace {

template<typename Buffer, typename Call>
bool TransferFully(int fd, Buffer* data, std::size_t size, std::uint64_t offset, Call call)
{
    while (size > 0) {
        ssize_t count = call(fd, data, size, static_cast<off_t>(offset));
        if (count < 0 && errno == EINTR)
            continue;
        if (count <= 0)
            return false;
        data += count;
        size -= static_cast<std::size_t>(count);
        offset += static_cast<std::uint64_t>(count);
    }
    return true;
}

} // namespace

bool ReadFully(int fd, std::uint8_t* data, std::size_t size, std::uint64_t offset)
{
    return TransferFully(fd, data, size, offset, ::pread);
}

bool WriteFully(int fd, const std::uint8_t* data, std::size_t size, std::uint64_t offset)
{
    return TransferFully(fd, data, size, offset, ::pwrite);
}

} // namespace platform::linux
