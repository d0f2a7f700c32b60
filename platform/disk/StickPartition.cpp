#include "platform/disk/StickPartition.h"

#include <algorithm>

namespace platform {

namespace {

// Fewer than FAT32's own limit (0x0FFFFFF5) and than mkfs.fat takes (268435441): a volume this
// size is accepted by both and by the program's own FAT32 writer.
constexpr std::uint64_t kLargestClusterCount = 268435440;
constexpr std::uint64_t kFatCount = 2;
constexpr std::uint64_t kReservedSectors = 32;
// A master boot record counts sectors in 32 bits.
constexpr std::uint64_t kMbrSectors = 0x100000000ull;

} // namespace

std::uint64_t StickPartition::LargestFat32Volume(std::uint32_t sectorSize, std::uint32_t clusterSize)
{
    if (!sectorSize || clusterSize < sectorSize)
        return 0;
    std::uint64_t perCluster = clusterSize / sectorSize;
    // Each FAT holds the clusters and the two reserved entries; the data area starts on a cluster.
    std::uint64_t fatSectors = ((kLargestClusterCount + 2) * 4 + sectorSize - 1) / sectorSize;
    std::uint64_t system = kReservedSectors + kFatCount * fatSectors;
    system += (perCluster - system % perCluster) % perCluster;
    std::uint64_t bytes = (system + kLargestClusterCount * perCluster) * sectorSize;
    return bytes / kAlignment * kAlignment;
}

StickPartition StickPartition::ForDisk(std::uint64_t diskSize, std::uint32_t sectorSize, std::uint32_t clusterSize)
{
    StickPartition partition;
    partition.offset = kAlignment;
    if (!sectorSize)
        return partition;
    std::uint64_t end = std::min(diskSize / sectorSize, kMbrSectors) * sectorSize;
    if (end <= partition.offset)
        return partition;
    partition.size = std::min(end - partition.offset, LargestFat32Volume(sectorSize, clusterSize));
    return partition;
}

} // namespace platform
