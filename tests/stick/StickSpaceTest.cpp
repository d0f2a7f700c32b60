#include "stick/StickSpace.h"

#include <gtest/gtest.h>

namespace {

constexpr std::uint64_t kMiB = 1024 * 1024;

// The demo CD's five files are small: the volume's least cluster count decides.
TEST(StickSpace, ASmallSystemNeedsTheLeastFat32Volume)
{
    StickSpace space({ 18, 4 * kMiB, 40 * kMiB, 200, 9 * kMiB });
    std::uint64_t least = space.LeastStickSize();
    // 65,525 clusters of 4096 bytes, two FATs, the 1 MiB before the partition and the spare.
    EXPECT_GT(least, 258 * kMiB);
    EXPECT_LT(least, 262 * kMiB);
    EXPECT_TRUE(space.Fits(least));
    EXPECT_FALSE(space.Fits(least - kMiB));
    EXPECT_FALSE(space.Fits(196 * kMiB));
    EXPECT_TRUE(space.Fits(64ull << 40)) << "a volume too large to plan still has room";
    EXPECT_EQ(StickSpace::CommonSizeAtLeast(least), L"512 MB");
}

// Files larger than that volume: each takes whole clusters, and they decide.
TEST(StickSpace, LargeFilesNeedTheirClustersOnTop)
{
    // 200 MiB fit on the least volume's clusters; 1000 files of one byte take 1000 clusters.
    EXPECT_TRUE(StickSpace({ 200 * kMiB }).Fits(300 * kMiB));
    EXPECT_FALSE(StickSpace(std::vector<std::uint64_t>(70000, 1)).Fits(260 * kMiB));

    StickSpace large({ 3000 * kMiB, 40 * kMiB });
    std::uint64_t least = large.LeastStickSize();
    EXPECT_GT(least, 3041 * kMiB);
    EXPECT_LT(least, 3060 * kMiB);
    EXPECT_FALSE(large.Fits(3000 * kMiB));
    EXPECT_EQ(StickSpace::CommonSizeAtLeast(least), L"4 GB");
}

// Sticks hold a little less than their label says, in decimal units.
TEST(StickSpace, CommonSizesAreRoundedUpWithRoomBelowTheLabel)
{
    EXPECT_EQ(StickSpace::CommonSizeAtLeast(100'000'000), L"128 MB");
    EXPECT_EQ(StickSpace::CommonSizeAtLeast(470'000'000), L"1 GB");
    EXPECT_EQ(StickSpace::CommonSizeAtLeast(900'000'000), L"1 GB");
    EXPECT_EQ(StickSpace::CommonSizeAtLeast(1'000'000'000), L"2 GB");
    EXPECT_EQ(StickSpace::CommonSizeAtLeast(20'000'000'000), L"32 GB");
}

} // namespace
