#include "platform/linux/StickVolume.h"

#include "platform/disk/StickPartition.h"
#include "platform/disk/MasterBootRecord.h"
#include "platform/linux/UniqueFd.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace platform::linux {

namespace {

bool LooksLikeFatBootSector(const std::uint8_t* sector)
{
    bool jumps = sector[0] == 0xEB || sector[0] == 0xE9;
    bool fat32 = std::memcmp(sector + 0x52, "FAT32", 5) == 0;
    bool fat16 = std::memcmp(sector + 0x36, "FAT", 3) == 0;
    return jumps && (fat32 || fat16) && sector[510] == 0x55 && sector[511] == 0xAA;
}

bool IsUsablePartitionType(std::uint8_t type)
{
    switch (type) {
    case 0x01: case 0x04: case 0x06: case 0x0B: case 0x0C: case 0x0E: case 0xEF:
        return true;
    default:
        return false;
    }
}

} // namespace

std::optional<std::uint64_t> DiskSizeOf(int fd, bool* isBlockDevice)
{
    struct stat info {};
    if (::fstat(fd, &info) != 0)
        return std::nullopt;
    if (isBlockDevice)
        *isBlockDevice = S_ISBLK(info.st_mode);
    if (S_ISREG(info.st_mode))
        return static_cast<std::uint64_t>(info.st_size);
    if (!S_ISBLK(info.st_mode))
        return std::nullopt;
    std::uint64_t size = 0;
    if (::ioctl(fd, BLKGETSIZE64, &size) != 0)
        return std::nullopt;
    return size;
}

StickVolume StickVolume::PlannedLayout(const std::string& diskPath, std::uint64_t diskSize, std::uint32_t sectorSize,
    bool isBlockDevice, std::uint32_t clusterSize)
{
    StickVolume volume;
    volume.diskPath = diskPath;
    volume.diskSize = diskSize;
    volume.sectorSize = sectorSize ? sectorSize : 512;
    volume.isBlockDevice = isBlockDevice;
    auto partition = StickPartition::ForDisk(diskSize, volume.sectorSize, clusterSize);
    volume.partitionOffset = partition.offset;
    volume.partitionSize = partition.size;
    return volume;
}

std::optional<StickVolume> StickVolume::ReadFromDisk(const std::string& diskPath, std::uint32_t sectorSize,
    std::string& error)
{
    UniqueFd disk(::open(diskPath.c_str(), O_RDONLY | O_CLOEXEC));
    if (!disk) {
        error = diskPath + ": " + std::strerror(errno);
        return std::nullopt;
    }
    bool isBlockDevice = false;
    auto diskSize = DiskSizeOf(disk.Get(), &isBlockDevice);
    if (!diskSize) {
        error = diskPath + ": not a disk or image file";
        return std::nullopt;
    }
    if (isBlockDevice) {
        int logical = 0;
        if (::ioctl(disk.Get(), BLKSSZGET, &logical) == 0 && logical > 0)
            sectorSize = static_cast<std::uint32_t>(logical);
    }
    if (sectorSize < 512)
        sectorSize = 512;

    std::vector<std::uint8_t> sector(sectorSize);
    if (::pread(disk.Get(), sector.data(), sector.size(), 0) != static_cast<ssize_t>(sector.size())) {
        error = diskPath + ": can't read the first sector";
        return std::nullopt;
    }

    StickVolume volume;
    volume.diskPath = diskPath;
    volume.diskSize = *diskSize;
    volume.sectorSize = sectorSize;
    volume.isBlockDevice = isBlockDevice;

    if (LooksLikeFatBootSector(sector.data())) {
        volume.partitionSize = *diskSize;
        return volume;
    }
    auto record = MasterBootRecord::Parse(sector.data(), sector.size());
    if (record) {
        for (int index = 0; index < 4; ++index) {
            auto partition = record->GetPartition(index);
            std::uint64_t offset = std::uint64_t(partition.firstSector) * sectorSize;
            std::uint64_t size = std::uint64_t(partition.sectorCount) * sectorSize;
            if (!IsUsablePartitionType(partition.type) || partition.firstSector == 0 || offset + size > *diskSize)
                continue;
            volume.partitionOffset = offset;
            volume.partitionSize = size;
            return volume;
        }
    }
    error = diskPath + ": no FAT partition on the disk";
    return std::nullopt;
}

std::string StickVolume::MtoolsImage() const
{
    return diskPath + "@@" + std::to_string(partitionOffset);
}

} // namespace platform::linux
