// The five windows as the program opens them, against pictures checked in tests/golden/
// (scripts/update-goldens renders them anew after a deliberate change).
#include "uilib/Image.h"

#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

struct Difference {
    int differingPixels = 0;
    double meanChannelDifference = 0;
};

Difference Compare(const Image& a, const Image& b)
{
    Difference result;
    long long total = 0;
    for (int y = 0; y < a.Height(); ++y) {
        for (int x = 0; x < a.Width(); ++x) {
            std::uint32_t p = a.Pixel(x, y);
            std::uint32_t q = b.Pixel(x, y);
            int largest = 0;
            for (int shift : { 0, 8, 16 }) {
                int delta = std::abs(static_cast<int>((p >> shift) & 0xFF) - static_cast<int>((q >> shift) & 0xFF));
                total += delta;
                largest = std::max(largest, delta);
            }
            if (largest > 48)
                ++result.differingPixels;
        }
    }
    result.meanChannelDifference = static_cast<double>(total) / (3.0 * a.Width() * a.Height());
    return result;
}

class GoldenSnapshot : public ::testing::TestWithParam<const char*> { };

TEST_P(GoldenSnapshot, WindowLooksAsCheckedIn)
{
    std::string section = GetParam();
    fs::path golden = fs::path(ARKEVEN_SOURCE_DIR) / "tests/golden" / (section + ".png");
    fs::path rendered = fs::temp_directory_path() / ("golden-" + section + "-" + std::to_string(::getpid()) + ".png");
    std::string command = "LANG=C LC_ALL= LC_MESSAGES= ARKEVEN_VIRTUAL_STICKS= ARKEVEN_HOST=headless '"
        + std::string(ARKEVEN_BINARY_DIR) + "/cd/AUTORUN/arkeven' --snapshot " + section + " '" + rendered.string() + "'";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;

    Image expected = Image::LoadPng(golden.wstring());
    Image actual = Image::LoadPng(rendered.wstring());
    fs::remove(rendered);
    ASSERT_EQ(actual.Width(), expected.Width());
    ASSERT_EQ(actual.Height(), expected.Height());
    Difference difference = Compare(expected, actual);
    int pixels = expected.Width() * expected.Height();
    EXPECT_LE(difference.differingPixels, pixels / 200) << section << ": too many pixels differ";
    EXPECT_LT(difference.meanChannelDifference, 2.0) << section;
}

INSTANTIATE_TEST_SUITE_P(ShippedSkin, GoldenSnapshot, ::testing::Values("MainFrm", "AppFrm", "ModelFrm", "OSFrm", "UsbFrm"));

} // namespace
