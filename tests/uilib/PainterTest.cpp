#include "framework/CException.h"
#include "uilib/Color.h"
#include "uilib/Image.h"
#include "uilib/Painter.h"

#include <gtest/gtest.h>

namespace {

constexpr std::uint32_t Black = 0xFF000000;
constexpr std::uint32_t White = 0xFFFFFFFF;
constexpr std::uint32_t Red = 0xFFFF0000;
constexpr std::uint32_t Blue = 0xFF0000FF;

int CountPixels(const Framebuffer& fb, std::uint32_t colour)
{
    int count = 0;
    for (int y = 0; y < fb.Height(); ++y)
        for (int x = 0; x < fb.Width(); ++x)
            count += fb.Pixel(x, y) == colour;
    return count;
}

TEST(Painter, FillRespectsRectAndNestedClips)
{
    Framebuffer fb(10, 10, Black);
    Painter painter(fb);
    painter.FillRect({ 2, 3, 5, 6 }, Red);
    EXPECT_EQ(CountPixels(fb, Red), 9);
    EXPECT_EQ(fb.Pixel(2, 3), Red);
    EXPECT_EQ(fb.Pixel(5, 3), Black); // right edge excluded
    EXPECT_EQ(fb.Pixel(2, 6), Black); // bottom edge excluded

    {
        Painter::ScopedClip outer(painter, { 0, 0, 6, 6 });
        Painter::ScopedClip inner(painter, { 4, 4, 10, 10 }); // narrows to 4..6
        painter.FillRect(fb.Bounds(), Blue);
    }
    EXPECT_EQ(CountPixels(fb, Blue), 4);
    EXPECT_EQ(fb.Pixel(4, 4), Blue);
    EXPECT_EQ(fb.Pixel(6, 6), Black);
    // Clips are popped again: the whole framebuffer is paintable.
    painter.FillRect({ 9, 9, 20, 20 }, Blue);
    EXPECT_EQ(fb.Pixel(9, 9), Blue);
    painter.PopClip(); // popping the bottom clip is harmless
    EXPECT_EQ(painter.Clip(), fb.Bounds());
}

TEST(Painter, TranslucentFillBlends)
{
    Framebuffer fb(2, 1, Black);
    Painter painter(fb);
    painter.FillRect({ 0, 0, 1, 1 }, 0x80FFFFFF);
    std::uint32_t mixed = fb.Pixel(0, 0);
    EXPECT_EQ(Color::Alpha(mixed), 0xFF);
    EXPECT_NEAR(Color::Red(mixed), 128, 1);
    EXPECT_EQ(Color::Red(mixed), Color::Blue(mixed));
    EXPECT_EQ(fb.Pixel(1, 0), Black);
    painter.FillRect({ 1, 0, 2, 1 }, 0x00FFFFFF);
    EXPECT_EQ(fb.Pixel(1, 0), Black);
}

TEST(Painter, GradientHitsBothEndsExactly)
{
    Framebuffer fb(3, 9, Black);
    Painter painter(fb);
    painter.FillVerticalGradient({ 0, 0, 3, 9 }, 0xFF102030, 0xFFF0E0D0);
    EXPECT_EQ(fb.Pixel(0, 0), 0xFF102030u);
    EXPECT_EQ(fb.Pixel(2, 8), 0xFFF0E0D0u);
    std::uint32_t middle = fb.Pixel(1, 4);
    EXPECT_NEAR(Color::Red(middle), (0x10 + 0xF0) / 2, 1);
    for (int y = 1; y < 9; ++y)
        EXPECT_GE(Color::Red(fb.Pixel(0, y)), Color::Red(fb.Pixel(0, y - 1)));
}

TEST(Painter, ClippedGradientKeepsTheColoursOfTheWholeRect)
{
    Framebuffer whole(1, 10, Black);
    Framebuffer part(1, 10, Black);
    Painter(whole).FillVerticalGradient({ 0, 0, 1, 10 }, Black, White);
    Painter painter(part);
    painter.PushClip({ 0, 5, 1, 10 });
    painter.FillVerticalGradient({ 0, 0, 1, 10 }, Black, White);
    for (int y = 5; y < 10; ++y)
        EXPECT_EQ(part.Pixel(0, y), whole.Pixel(0, y));
    EXPECT_EQ(part.Pixel(0, 4), Black);
}

TEST(Painter, RoundedCornersAreAntiAliasedAndTheMiddleIsSolid)
{
    Framebuffer fb(20, 20, Black);
    Painter painter(fb);
    painter.FillRoundedRect({ 0, 0, 20, 20 }, 8, White);
    EXPECT_EQ(fb.Pixel(0, 0), Black);        // outside the corner circle
    EXPECT_EQ(fb.Pixel(19, 19), Black);
    EXPECT_EQ(fb.Pixel(10, 0), White);       // straight edges are full
    EXPECT_EQ(fb.Pixel(0, 10), White);
    EXPECT_EQ(fb.Pixel(10, 10), White);
    // Along the corner's arc some pixels are partly covered: neither black nor white.
    int partial = 0;
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) {
            unsigned red = Color::Red(fb.Pixel(x, y));
            partial += red > 0 && red < 255;
        }
    EXPECT_GE(partial, 4);
    // The four corners are mirror images.
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) {
            EXPECT_EQ(fb.Pixel(x, y), fb.Pixel(19 - x, y));
            EXPECT_EQ(fb.Pixel(x, y), fb.Pixel(x, 19 - y));
        }
    // Covered area of a quarter corner: r^2 - pi r^2 / 4 = 13.7 pixels left out per corner.
    double missing = 0;
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x)
            missing += 1.0 - Color::Red(fb.Pixel(x, y)) / 255.0;
    EXPECT_NEAR(missing, 64 - 3.14159 * 16, 1.0);
}

TEST(Painter, RoundedBorderLeavesTheInsideUntouched)
{
    Framebuffer fb(20, 12, Black);
    Painter painter(fb);
    painter.DrawRoundedRect({ 0, 0, 20, 12 }, 4, White, 2);
    EXPECT_EQ(fb.Pixel(10, 0), White);
    EXPECT_EQ(fb.Pixel(10, 1), White);
    EXPECT_EQ(fb.Pixel(10, 2), Black);
    EXPECT_EQ(fb.Pixel(0, 6), White);
    EXPECT_EQ(fb.Pixel(19, 6), White);
    EXPECT_EQ(fb.Pixel(2, 6), Black);
    EXPECT_EQ(fb.Pixel(10, 6), Black);
    EXPECT_EQ(fb.Pixel(0, 0), Black);
}

TEST(Painter, ImageAlphaIsBlendedAndClipped)
{
    Image image(2, 2, 0xFFFF0000);
    image.SetPixel(1, 0, 0x00FFFFFF); // fully transparent
    image.SetPixel(0, 1, 0x800000FF); // half blue
    Framebuffer fb(4, 4, White);
    Painter painter(fb);
    painter.PushClip({ 0, 0, 4, 3 });
    painter.DrawImage(image, { 1, 1 });
    painter.DrawImage(image, { 3, 2 }); // only its top-left pixel is inside the clip
    EXPECT_EQ(fb.Pixel(1, 1), 0xFFFF0000u);
    EXPECT_EQ(fb.Pixel(2, 1), White);
    std::uint32_t half = fb.Pixel(1, 2);
    EXPECT_NEAR(Color::Red(half), 127, 2);
    EXPECT_EQ(Color::Blue(half), 255);
    EXPECT_EQ(fb.Pixel(3, 2), 0xFFFF0000u);
    EXPECT_EQ(fb.Pixel(3, 3), White);
}

TEST(Painter, ScaledImageFillsTheDestination)
{
    Image image(1, 1, 0xFF00FF00);
    Framebuffer fb(8, 8, Black);
    Painter(fb).DrawImageScaled(image, { 2, 2, 6, 7 });
    EXPECT_EQ(CountPixels(fb, 0xFF00FF00), 20);
}

TEST(Painter, DottedRectAlternates)
{
    Framebuffer fb(6, 4, Black);
    Painter(fb).DrawDottedRect({ 0, 0, 6, 4 }, White);
    EXPECT_EQ(fb.Pixel(0, 0), White);
    EXPECT_EQ(fb.Pixel(1, 0), Black);
    EXPECT_EQ(fb.Pixel(2, 0), White);
    EXPECT_EQ(fb.Pixel(2, 2), Black);
}

TEST(Color, ConvertsColorrefAndBlendsOntoTransparency)
{
    EXPECT_EQ(Color::FromColorref(0xE78B21), 0xFF218BE7u);
    EXPECT_EQ(Color::Blend(0x00000000, 0x80FF0000), 0x80FF0000u);
}

TEST(Image, PngRoundTripKeepsRegionAndAlpha)
{
    Framebuffer fb(5, 4, 0xFF000000);
    Painter painter(fb);
    painter.FillRect({ 1, 1, 3, 3 }, 0xFF218BE7);
    fb.Row(2)[3] = 0x40FFFFFF;
    std::string path = std::string(ARKEVEN_BINARY_DIR) + "/uilib_roundtrip.png";
    std::wstring widePath(path.begin(), path.end());
    ASSERT_TRUE(Image::SavePng(fb, { 1, 1, 4, 3 }, widePath));

    Image loaded = Image::LoadPng(widePath);
    ASSERT_EQ(loaded.Width(), 3);
    ASSERT_EQ(loaded.Height(), 2);
    EXPECT_EQ(loaded.Pixel(0, 0), 0xFF218BE7u);
    EXPECT_EQ(loaded.Pixel(1, 1), 0xFF218BE7u);
    EXPECT_EQ(loaded.Pixel(2, 0), 0xFF000000u);
    EXPECT_EQ(loaded.Pixel(2, 1), 0x40FFFFFFu);
    EXPECT_FALSE(Image::SavePng(fb, { 10, 10, 20, 20 }, widePath));
}

TEST(Image, DamagedDataThrows)
{
    std::vector<std::uint8_t> notPng = { 0x89, 'P', 'N', 'G', 0, 1, 2 };
    EXPECT_THROW(Image::DecodePng(notPng.data(), notPng.size(), L"x.png"), CException);
    EXPECT_THROW(Image::LoadPng(L"/nonexistent/face.png"), CException);
}

} // namespace
