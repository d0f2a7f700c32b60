#pragma once

#include <cstddef>
#include <cstdint>

namespace platform::linux {

// pread and pwrite of a whole block: short transfers continue and interruptions are retried.
// False on an error (errno says which) or at the end of the file.
bool ReadFully(int fd, std::uint8_t* data, std::size_t size, std::uint64_t offset);
bool WriteFully(int fd, const std::uint8_t* data, std::size_t size, std::uint64_t offset);

} // namespace platform::linux
