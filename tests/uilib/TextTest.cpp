#include "framework/CException.h"
#include "uilib/Color.h"
#include "uilib/Font.h"
#include "uilib/Painter.h"

#include <cstring>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <vector>

namespace {

const std::wstring FontFolder = L"/usr/share/fonts/truetype/dejavu/";

std::shared_ptr<const Font> Sans(int size)
{
    return Font::LoadFromFile(FontFolder + L"DejaVuSans.ttf", size);
}

// The bounding box of every pixel that differs from the background.
CRect InkBounds(const Framebuffer& fb, std::uint32_t background)
{
    CRect ink { fb.Width(), fb.Height(), 0, 0 };
    for (int y = 0; y < fb.Height(); ++y)
        for (int x = 0; x < fb.Width(); ++x) {
            if (fb.Pixel(x, y) == background)
                continue;
            ink.left = std::min(ink.left, x);
            ink.top = std::min(ink.top, y);
            ink.right = std::max(ink.right, x + 1);
            ink.bottom = std::max(ink.bottom, y + 1);
        }
    return ink;
}

Framebuffer Render(const std::wstring& text, const CRect& rect, unsigned format, int size = 14, CPoint canvas = { 120, 60 })
{
    Framebuffer fb(canvas.x, canvas.y, 0xFF000000);
    Painter painter(fb);
    painter.DrawText(text, rect, *Sans(size), 0xFFFFFFFF, format);
    return fb;
}

TEST(Font, MetricsAndMeasuring)
{
    auto font = Sans(20);
    EXPECT_EQ(font->PixelSize(), 20);
    EXPECT_GT(font->Ascent(), 15);
    EXPECT_GT(font->Descent(), 2);
    EXPECT_GE(font->LineHeight(), font->Ascent() + font->Descent());
    EXPECT_EQ(font->MeasureWidth(std::wstring()), 0);
    int one = font->MeasureWidth(L"M");
    EXPECT_GT(one, 10);
    EXPECT_NEAR(font->MeasureWidth(L"MMMM"), 4 * one, 2);
    EXPECT_LT(font->MeasureWidth(L"iiii"), font->MeasureWidth(L"MMMM"));
}

TEST(Font, ErrorsNameTheFile)
{
    try {
        Font::LoadFromFile(L"/nonexistent/Missing.ttf", 12);
        FAIL();
    } catch (const CException& error) {
        EXPECT_EQ(error.File(), L"/nonexistent/Missing.ttf");
    }
    EXPECT_THROW(Font::LoadFromMemory({ 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13 }, 12, L"junk"), CException);
    EXPECT_THROW(Font::LoadFromFile(FontFolder + L"DejaVuSans.ttf", 0), CException);
}

TEST(Font, ItalianAccentsHaveTheirOwnGlyphs)
{
    auto font = Sans(16);
    for (auto [plain, accented] : { std::pair { U'a', U'à' }, { U'e', U'è' }, { U'e', U'é' }, { U'ı', U'ì' }, { U'o', U'ò' }, { U'u', U'ù' } }) {
        const Font::Glyph& base = font->GlyphFor(plain);
        const Font::Glyph& withAccent = font->GlyphFor(accented);
        EXPECT_NE(withAccent.index, 0);
        EXPECT_LT(withAccent.top, base.top) << "the accent rises above the letter";
    }
    Framebuffer fb = Render(L"Perché così è già più", { 0, 0, 300, 30 }, TextFormat::SingleLine, 14, { 300, 30 });
    EXPECT_FALSE(InkBounds(fb, 0xFF000000).IsEmpty());
}

TEST(Font, MissingGlyphDrawsTheNotdefBox)
{
    auto font = Sans(16);
    char32_t unassigned = 0x10FFFD; // a private-use code point no font maps
    EXPECT_FALSE(font->HasGlyph(unassigned));
    const Font::Glyph& glyph = font->GlyphFor(unassigned);
    EXPECT_EQ(glyph.index, 0);
    EXPECT_GT(glyph.width, 3);
    EXPECT_GT(glyph.advance, 3);
}

TEST(Font, SurrogatePairsJoinAndLoneOnesAreReplaced)
{
    std::wstring pair { static_cast<wchar_t>(0xD83D), static_cast<wchar_t>(0xDE00), L'A' };
    EXPECT_EQ(Font::CodePoints(pair), (std::u32string { 0x1F600, U'A' }));
    std::wstring lone { static_cast<wchar_t>(0xDC00), L'B', static_cast<wchar_t>(0xD800) };
    EXPECT_EQ(Font::CodePoints(lone), (std::u32string { 0xFFFD, U'B', 0xFFFD }));
}

TEST(DrawText, CentredSingleLineInkIsCentredInTheRect)
{
    CRect rect { 10, 8, 110, 48 };
    Framebuffer fb = Render(L"HOME", rect, TextFormat::SingleLine | TextFormat::Center | TextFormat::VCenter);
    CRect ink = InkBounds(fb, 0xFF000000);
    ASSERT_FALSE(ink.IsEmpty());
    EXPECT_EQ(ink.Intersect(rect), ink) << "ink lies inside the rect";
    EXPECT_NEAR((ink.left + ink.right) / 2.0, (rect.left + rect.right) / 2.0, 1.5);
    EXPECT_NEAR((ink.top + ink.bottom) / 2.0, (rect.top + rect.bottom) / 2.0, 2.0);
}

TEST(DrawText, AlignmentFlagsPlaceTheLine)
{
    CRect rect { 10, 10, 110, 50 };
    CRect left = InkBounds(Render(L"Ok", rect, TextFormat::SingleLine), 0xFF000000);
    CRect right = InkBounds(Render(L"Ok", rect, TextFormat::SingleLine | TextFormat::Right), 0xFF000000);
    CRect bottom = InkBounds(Render(L"Ok", rect, TextFormat::SingleLine | TextFormat::Bottom), 0xFF000000);
    EXPECT_LE(left.left, rect.left + 2);
    EXPECT_GE(right.right, rect.right - 2);
    EXPECT_LE(right.right, rect.right);
    EXPECT_LE(left.top, rect.top + 6);
    EXPECT_GT(bottom.top, left.top + 10);
    EXPECT_LE(bottom.bottom, rect.bottom);
}

TEST(DrawText, TextIsClippedToItsRect)
{
    CRect rect { 20, 20, 40, 30 };
    Framebuffer fb = Render(L"A long caption that overflows", rect, TextFormat::SingleLine | TextFormat::Center | TextFormat::VCenter);
    CRect ink = InkBounds(fb, 0xFF000000);
    ASSERT_FALSE(ink.IsEmpty());
    EXPECT_EQ(ink.Intersect(rect), ink);
}

TEST(DrawText, WordBreakWrapsAndSingleLineDoesNot)
{
    auto font = Sans(14);
    const std::wstring text = L"All data on the drive will be erased";
    CPoint wrapped = Painter::MeasureText(text, *font, TextFormat::WordBreak, 120);
    CPoint single = Painter::MeasureText(text, *font, TextFormat::SingleLine, 120);
    EXPECT_EQ(single.y, font->LineHeight());
    EXPECT_GE(wrapped.y, 2 * font->LineHeight());
    EXPECT_LE(wrapped.x, 120);
    EXPECT_GT(single.x, 120);
    CPoint lines = Painter::MeasureText(L"one\r\ntwo\nthree", *font, 0);
    EXPECT_EQ(lines.y, 3 * font->LineHeight());
    EXPECT_EQ(Painter::MeasureText(L"one\ntwo", *font, TextFormat::SingleLine).x, font->MeasureWidth(L"onetwo"));
}

} // namespace

namespace {

// A damaged font whose units per em read 0 (the scale would be infinite) is refused, not drawn
// with nonsense metrics.
TEST(FontFile, DamagedHeaderIsRefused)
{
    std::ifstream file("/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf", std::ios::binary);
    std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    ASSERT_GT(bytes.size(), 12u);
    auto read32 = [&](size_t at) {
        return (std::uint32_t(bytes[at]) << 24) | (std::uint32_t(bytes[at + 1]) << 16) | (std::uint32_t(bytes[at + 2]) << 8) | bytes[at + 3];
    };
    unsigned tables = (bytes[4] << 8) | bytes[5];
    size_t head = 0;
    for (unsigned i = 0; i < tables; ++i) {
        size_t record = 12 + 16 * i;
        if (std::memcmp(&bytes[record], "head", 4) == 0)
            head = read32(record + 8);
    }
    ASSERT_NE(head, 0u);
    EXPECT_NO_THROW(Font::LoadFromMemory(bytes, 14, L"intact"));
    bytes[head + 18] = 0; // unitsPerEm
    bytes[head + 19] = 0;
    EXPECT_THROW(Font::LoadFromMemory(bytes, 14, L"damaged"), CException);
}

} // namespace
