#include "stick/StickSpace.h"

#include "platform/disk/Fat32Formatter.h"

#include <algorithm>

namespace {

constexpr std::uint64_t kMebibyte = 1024 * 1024;
constexpr std::uint32_t kSectorSize = 512;
constexpr std::uint32_t kClusterSize = 4096;
constexpr std::uint64_t kPartitionStart = kMebibyte;
// The boot loader's two files (about 200 KB) and room for the system's own formatter to lay
// the volume out a little differently from our plan.
constexpr std::uint64_t kSpareClusters = 2 * kMebibyte / kClusterSize;
// A stick this large holds anything the CD can carry (five files, each below 4 GiB).
constexpr std::uint64_t kRoomForAnything = 64ull * 1024 * kMebibyte;
// A stick labelled with a size holds at least this share of it.
constexpr double kLeastShareOfLabel = 0.9;

std::uint64_t ClustersFor(std::uint64_t bytes)
{
    return (bytes + kClusterSize - 1) / kClusterSize;
}

} // namespace

StickSpace::StickSpace(std::vector<std::uint64_t> fileSizes)
{
    std::uint64_t clusters = 1; // the root folder
    for (std::uint64_t size : fileSizes)
        clusters += ClustersFor(size);
    m_clustersNeeded = std::max<std::uint64_t>(clusters, platform::Fat32Formatter::kMinimumClusters) + kSpareClusters;
}

bool StickSpace::Fits(std::uint64_t stickSize) const
{
    if (stickSize <= kPartitionStart)
        return false;
    std::uint64_t volume = std::min(stickSize - kPartitionStart, kRoomForAnything);
    std::string error;
    auto layout = platform::Fat32Formatter::Plan(volume, kSectorSize, kClusterSize, error);
    // Capped as it is, a volume that can't be planned has too few clusters.
    return layout && layout->clusterCount >= m_clustersNeeded;
}

std::uint64_t StickSpace::LeastStickSize() const
{
    std::uint64_t low = 1;                               // in MiB: too small
    std::uint64_t high = kRoomForAnything / kMebibyte * 2; // fits
    while (high - low > 1) {
        std::uint64_t middle = low + (high - low) / 2;
        (Fits(middle * kMebibyte) ? high : low) = middle;
    }
    return high * kMebibyte;
}

std::wstring StickSpace::CommonSizeAtLeast(std::uint64_t bytes)
{
    auto holds = [bytes](double labelled) { return labelled * kLeastShareOfLabel >= static_cast<double>(bytes); };
    for (int megabytes : { 128, 256, 512 }) {
        if (holds(megabytes * 1e6))
            return std::to_wstring(megabytes) + L" MB";
    }
    std::uint64_t gigabytes = 1;
    while (!holds(static_cast<double>(gigabytes) * 1e9))
        gigabytes *= 2;
    return std::to_wstring(gigabytes) + L" GB";
}
