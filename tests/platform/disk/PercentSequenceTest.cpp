// The percentages a format reports: each from 0 to 100 once and in order, however the work jumps.

#include "platform/disk/PercentSequence.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

std::vector<std::uint32_t> Expected(std::uint32_t from, std::uint32_t to)
{
    std::vector<std::uint32_t> values;
    for (std::uint32_t p = from; p <= to; ++p)
        values.push_back(p);
    return values;
}

TEST(PercentSequence, FillsJumpsIgnoresStepsBackAndStopsAtAHundred)
{
    std::vector<std::uint32_t> reported;
    platform::PercentSequence sequence([&](std::uint32_t p) { reported.push_back(p); return true; });
    EXPECT_TRUE(sequence.UpTo(10));
    EXPECT_TRUE(sequence.UpTo(4));
    EXPECT_TRUE(sequence.UpTo(40));
    EXPECT_TRUE(sequence.UpTo(250));
    EXPECT_TRUE(sequence.UpTo(100));
    EXPECT_EQ(reported, Expected(0, 100));
}

TEST(PercentSequence, EndsAtTheFirstRefusedReport)
{
    std::vector<std::uint32_t> reported;
    platform::PercentSequence sequence([&](std::uint32_t p) {
        reported.push_back(p);
        return p != 5;
    });
    EXPECT_FALSE(sequence.UpTo(20));
    EXPECT_EQ(reported, Expected(0, 5));
}

} // namespace
