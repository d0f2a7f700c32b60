#pragma once

#include "platform/disk/SectorDevice.h"
#include "platform/linux/UniqueFd.h"

#include <memory>
#include <string>

namespace platform::linux {

// A byte range of a disk image or block device as a sector device: the partition of a stick.
class FileSectorDevice : public SectorDevice {
public:
    // Null, with the reason in `error`, when the file can't be opened for writing or is shorter
    // than the range.
    static std::unique_ptr<FileSectorDevice> Open(const std::string& path, std::uint64_t offset, std::uint64_t size,
        std::uint32_t sectorSize, std::string& error);

    FileSectorDevice(UniqueFd file, std::uint64_t offset, std::uint64_t size, std::uint32_t sectorSize);

    std::uint32_t SectorSize() const override { return m_sectorSize; }
    std::uint64_t Size() const override { return m_size; }
    bool Read(std::uint64_t offset, std::uint8_t* data, std::size_t size) override;
    bool Write(std::uint64_t offset, const std::uint8_t* data, std::size_t size) override;
    bool Flush() override;

private:
    bool InRange(std::uint64_t offset, std::size_t size) const;

    UniqueFd m_file;
    std::uint64_t m_offset;
    std::uint64_t m_size;
    std::uint32_t m_sectorSize;
};

} // namespace platform::linux
