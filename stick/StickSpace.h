#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Whether a stick has room for the recovery system: a FAT32 volume with 4096-byte clusters from
// 1 MiB to the stick's end (at least 65,525 clusters after the reserved sectors and the two
// FATs), holding the root folder, the five files (each taking whole clusters) and the boot
// loader, with a little to spare.
class StickSpace {
public:
    explicit StickSpace(std::vector<std::uint64_t> fileSizes);

    bool Fits(std::uint64_t stickSize) const;
    // The least stick size that fits, to the mebibyte.
    std::uint64_t LeastStickSize() const;

    // The smallest common stick size that holds `bytes` ("512 MB", "1 GB", "2 GB", ...), as a
    // stick of that size counts its capacity: in decimal units, and a little below the label.
    static std::wstring CommonSizeAtLeast(std::uint64_t bytes);

private:
    std::uint64_t m_clustersNeeded;
};
