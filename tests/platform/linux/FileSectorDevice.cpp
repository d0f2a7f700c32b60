#include "FileSectorDevice.h"

#include "platform/linux/PositionedIo.h"
#include "platform/linux/StickVolume.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace platform::linux {

std::unique_ptr<FileSectorDevice> FileSectorDevice::Open(const std::string& path, std::uint64_t offset,
    std::uint64_t size, std::uint32_t sectorSize, std::string& error)
{
    UniqueFd file(::open(path.c_str(), O_RDWR | O_CLOEXEC));
    if (!file) {
        error = "can't open " + path + ": " + std::strerror(errno);
        return nullptr;
    }
    auto diskSize = DiskSizeOf(file.Get(), nullptr);
    if (!diskSize || sectorSize == 0 || offset % sectorSize != 0 || offset > *diskSize || size > *diskSize - offset) {
        error = path + " has no sector range of " + std::to_string(size) + " bytes at " + std::to_string(offset);
        return nullptr;
    }
    size -= size % sectorSize;
    return std::make_unique<FileSectorDevice>(std::move(file), offset, size, sectorSize);
}

FileSectorDevice::FileSectorDevice(UniqueFd file, std::uint64_t offset, std::uint64_t size, std::uint32_t sectorSize)
    : m_file(std::move(file))
    , m_offset(offset)
    , m_size(size)
    , m_sectorSize(sectorSize)
{
}

bool FileSectorDevice::InRange(std::uint64_t offset, std::size_t size) const
{
    return offset % m_sectorSize == 0 && size % m_sectorSize == 0 && offset <= m_size && size <= m_size - offset;
}

bool FileSectorDevice::Read(std::uint64_t offset, std::uint8_t* data, std::size_t size)
{
    return InRange(offset, size) && ReadFully(m_file.Get(), data, size, m_offset + offset);
}

bool FileSectorDevice::Write(std::uint64_t offset, const std::uint8_t* data, std::size_t size)
{
    return InRange(offset, size) && WriteFully(m_file.Get(), data, size, m_offset + offset);
}

bool FileSectorDevice::Flush()
{
    return ::fdatasync(m_file.Get()) == 0;
}

} // namespace platform::linux
