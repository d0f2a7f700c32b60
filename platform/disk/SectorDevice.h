#pragma once

#include <cstddef>
#include <cstdint>

namespace platform {

// A range of sectors to lay a file system on: a partition of a disk image, a block device or a
// Windows volume. Offsets count from the start of the range. Offsets and sizes are whole sectors
// and buffers start on an AlignedBuffer boundary, as unbuffered devices demand.
class SectorDevice {
public:
    virtual ~SectorDevice() = default;

    virtual std::uint32_t SectorSize() const = 0;
    // Bytes in the range, a whole number of sectors.
    virtual std::uint64_t Size() const = 0;

    virtual bool Read(std::uint64_t offset, std::uint8_t* data, std::size_t size) = 0;
    virtual bool Write(std::uint64_t offset, const std::uint8_t* data, std::size_t size) = 0;
    // Returns once everything written is on the medium.
    virtual bool Flush() = 0;
};

} // namespace platform
