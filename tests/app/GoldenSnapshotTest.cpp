// The five windows as the program opens them, against pictures checked in tests/golden/
// (scripts/update-goldens renders them anew after a deliberate change).
#include "../support/ProgramTestSupport.h"

#include "uilib/Image.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

// The one real source of variation between two renders of the same window is rounding:
// anti-aliased edges, rounded corners and scaled images are blended in float, and a compiler
// that fuses multiply-adds (clang, or any compiler targeting a CPU with FMA) may round such a
// blend one level apart. So a channel may be off by a level or two, and no pixel by more: one
// wrong letter moves dozens of pixels by far more than that.
constexpr int kChannelTolerance = 2;

int DifferingPixels(const Image& a, const Image& b)
{
    int differing = 0;
    for (int y = 0; y < a.Height(); ++y) {
        for (int x = 0; x < a.Width(); ++x) {
            std::uint32_t p = a.Pixel(x, y);
            std::uint32_t q = b.Pixel(x, y);
            for (int shift : { 0, 8, 16 }) {
                if (std::abs(static_cast<int>((p >> shift) & 0xFF) - static_cast<int>((q >> shift) & 0xFF)) > kChannelTolerance) {
                    ++differing;
                    break;
                }
            }
        }
    }
    return differing;
}

// "MainFrm.png" at 1x, "MainFrm-2x.png", "AppFrm-1.5x.png" at the other scales.
std::string GoldenName(const std::string& section, const std::string& scale)
{
    return section + (scale == "1" ? "" : "-" + scale + "x") + ".png";
}

Image Golden(const std::string& section, const std::string& scale = "1")
{
    return Image::LoadPng((fs::path(ARKEVEN_SOURCE_DIR) / "tests/golden" / GoldenName(section, scale)).wstring());
}

struct GoldenCase {
    const char* section;
    const char* scale; // as ARKEVEN_SCALE takes it
};

class GoldenSnapshot : public ::testing::TestWithParam<GoldenCase> { };

TEST_P(GoldenSnapshot, WindowLooksAsCheckedIn)
{
    std::string section = GetParam().section;
    std::string scale = GetParam().scale;
    fs::path rendered = fs::temp_directory_path() / ("golden-" + section + "-" + scale + "-" + std::to_string(::getpid()) + ".png");
    std::string command = "LANG=C LC_ALL= LC_MESSAGES= ARKEVEN_VIRTUAL_STICKS= ARKEVEN_HOST=headless ARKEVEN_SCALE=" + scale + " '"
        + std::string(ARKEVEN_BINARY_DIR) + "/cd/AUTORUN/arkeven' --snapshot " + section + " '" + rendered.string() + "'";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;

    Image expected = Golden(section, scale);
    Image actual = Image::LoadPng(rendered.wstring());
    fs::remove(rendered);
    ASSERT_EQ(actual.Width(), expected.Width());
    ASSERT_EQ(actual.Height(), expected.Height());
    EXPECT_EQ(DifferingPixels(expected, actual), 0) << section << " at " << scale;
}

std::string CaseName(const ::testing::TestParamInfo<GoldenCase>& info)
{
    std::string scale = info.param.scale;
    std::replace(scale.begin(), scale.end(), '.', '_');
    return std::string(info.param.section) + "_" + scale + "x";
}

INSTANTIATE_TEST_SUITE_P(ShippedSkin, GoldenSnapshot,
    ::testing::Values(GoldenCase { "MainFrm", "1" }, GoldenCase { "AppFrm", "1" }, GoldenCase { "ModelFrm", "1" },
        GoldenCase { "OSFrm", "1" }, GoldenCase { "UsbFrm", "1" }, GoldenCase { "MainFrm", "2" }, GoldenCase { "AppFrm", "2" },
        GoldenCase { "ModelFrm", "2" }, GoldenCase { "OSFrm", "2" }, GoldenCase { "UsbFrm", "2" }, GoldenCase { "AppFrm", "1.5" }),
    CaseName);

// What the open launcher shows now, through the same PNG round trip as a golden picture.
Image Render(CMainFrame* frame)
{
    frame->UpdateWindow();
    auto png = Image::EncodePng(*frame->GetFramebuffer(), frame->GetFramebuffer()->Bounds());
    return Image::DecodePng(png.data(), png.size(), L"MainFrm");
}

// The 1x picture with every pixel doubled: what stretching a bitmap would show.
Image Doubled(const Image& image)
{
    Image doubled(image.Width() * 2, image.Height() * 2);
    for (int y = 0; y < doubled.Height(); ++y) {
        for (int x = 0; x < doubled.Width(); ++x)
            doubled.SetPixel(x, y, image.Pixel(x / 2, y / 2));
    }
    return doubled;
}

// At 2x every window is drawn anew: its text, corners and lines are finer than the 1x picture
// blown up, and only the flat areas agree.
TEST(GoldenCompare, TwiceTheScaleIsDrawnAnewNotStretched)
{
    for (const char* section : { "MainFrm", "AppFrm", "ModelFrm", "OSFrm", "UsbFrm" }) {
        Image sharp = Golden(section, "2");
        Image stretched = Doubled(Golden(section));
        ASSERT_EQ(sharp.Width(), stretched.Width()) << section;
        ASSERT_EQ(sharp.Height(), stretched.Height()) << section;
        int pixels = sharp.Width() * sharp.Height();
        EXPECT_GT(DifferingPixels(sharp, stretched), pixels / 100) << section << ": the 2x picture is the 1x one with doubled pixels";
    }
}

// The launcher drawn here matches its golden picture; a blank button text or two swapped
// letters must not.
TEST(GoldenCompare, RejectsABlankButtonTextAndTwoSwappedLetters)
{
    ASSERT_NO_FATAL_FAILURE(UseDemoSkinAndTexts());
    ProgramTestApp app;
    CMainFrame* frame = OpenLauncher(app);
    ASSERT_NE(frame, nullptr);
    Image golden = Golden("MainFrm");
    ASSERT_EQ(DifferingPixels(golden, Render(frame)), 0);

    frame->fnChangeBtnText(1002, L"");
    EXPECT_GT(DifferingPixels(golden, Render(frame)), 0) << "a blank minimise button";

    frame->fnChangeBtnText(1002, LibraryText(3).c_str());
    ASSERT_EQ(LibraryText(2), L"Close");
    frame->fnChangeBtnText(1001, L"Clsoe");
    EXPECT_GT(DifferingPixels(golden, Render(frame)), 0) << "\"Clsoe\" for \"Close\"";
}

// Moved to a screen of another scale (WM_DPICHANGED on Windows), the open launcher is laid out
// anew: it then looks exactly as a launcher opened at that scale, its captions and its
// language's button set kept, and back again.
TEST(GoldenCompare, AScaleChangeRedrawsTheOpenWindowAtTheNewScale)
{
    ASSERT_NO_FATAL_FAILURE(UseDemoSkinAndTexts());
    ProgramTestApp app;
    CMainFrame* frame = OpenLauncher(app);
    ASSERT_NE(frame, nullptr);
    for (const char* scale : { "2", "1" }) {
        SCOPED_TRACE(scale);
        double value = std::atof(scale);
        ASSERT_TRUE(app.Headless().ChangeScale("MainFrm", value));
        app.PumpUntil([&] { return frame->GetScale() == value; });
        Image golden = Golden("MainFrm", scale);
        Image shown = Render(frame);
        ASSERT_EQ(shown.Width(), golden.Width());
        ASSERT_EQ(shown.Height(), golden.Height());
        EXPECT_EQ(DifferingPixels(golden, shown), 0);
        auto onHost = app.Headless().Find("MainFrm");
        ASSERT_TRUE(onHost);
        EXPECT_EQ(onHost->rect.width, golden.Width());
    }
}

} // namespace
