#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace platform::linux {

// Where a stick's FAT volume lies: the disk (a block device or an image file) and the byte range
// of its partition. The same value drives mkfs.fat --offset, mcopy -i disk@@offset and
// syslinux --offset, so /dev/sdX and an image file take one code path.
struct StickVolume {
    std::string diskPath;
    // The disk as the user knows it (/dev/sdb, the image file), for messages; diskPath may be
    // the held disk's /proc path.
    std::string shownName;
    std::uint64_t diskSize = 0;
    std::uint32_t sectorSize = 512;
    bool isBlockDevice = false;
    std::uint64_t partitionOffset = 0;
    std::uint64_t partitionSize = 0;

    static constexpr std::uint64_t kPartitionAlignment = 1024 * 1024;

    // The layout a format creates: one partition from 1 MiB, as large as FAT32 with clusters of
    // `clusterSize` holds and a master boot record addresses (StickPartition).
    static StickVolume PlannedLayout(const std::string& diskPath, std::uint64_t diskSize, std::uint32_t sectorSize,
        bool isBlockDevice, std::uint32_t clusterSize = 4096);

    // The volume on a disk as it is now: the first partition of its master boot record, or the
    // whole disk when it holds a FAT file system without a partition table. Empty, with the
    // reason in `error`, when the disk can't be read or holds neither.
    static std::optional<StickVolume> ReadFromDisk(const std::string& diskPath, std::uint32_t sectorSize,
        std::string& error);

    std::uint64_t PartitionFirstSector() const { return partitionOffset / sectorSize; }
    const std::string& Name() const { return shownName.empty() ? diskPath : shownName; }
    // "disk@@offset", the image argument of mtools.
    std::string MtoolsImage() const;
};

// Size in bytes of an open disk: BLKGETSIZE64 for block devices, the file size for images.
std::optional<std::uint64_t> DiskSizeOf(int fd, bool* isBlockDevice);

} // namespace platform::linux
