#pragma once

#include <cstdint>

namespace platform {

// Where a stick's one partition lies on its disk, whatever the disk held before: from 1 MiB, as
// large as FAT32 with the job's clusters can count, and within what a master boot record
// addresses. The rest of a larger disk stays unallocated.
struct StickPartition {
    static constexpr std::uint64_t kAlignment = 1024 * 1024;

    std::uint64_t offset = 0;
    std::uint64_t size = 0; // 0: the disk has no room for a partition

    static StickPartition ForDisk(std::uint64_t diskSize, std::uint32_t sectorSize, std::uint32_t clusterSize);
    // The largest FAT32 volume of `clusterSize` clusters that every formatter the job uses takes,
    // in whole mebibytes.
    static std::uint64_t LargestFat32Volume(std::uint32_t sectorSize, std::uint32_t clusterSize);
};

} // namespace platform
