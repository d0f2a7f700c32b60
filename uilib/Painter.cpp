#include "uilib/Painter.h"

#include "uilib/Color.h"
#include "uilib/Font.h"
#include "uilib/Image.h"

#include <algorithm>
#include <cmath>

namespace {

int CappedRadius(const CRect& rect, int radius)
{
    return std::clamp(radius, 0, std::min(rect.Width(), rect.Height()) / 2);
}

std::uint32_t GradientAt(const CRect& rect, int y, std::uint32_t top, std::uint32_t bottom)
{
    int span = rect.Height() - 1;
    if (span <= 0)
        return top;
    return Color::Mix(top, bottom, static_cast<unsigned>((y - rect.top) * 255 + span / 2) / span);
}

// How much of the pixel whose top-left is (x, y) lies inside the rounded rectangle, 0.0-1.0.
// Straight edges fall on pixel boundaries, so only the corner squares need the circle.
float RoundedCoverage(const CRect& rect, int radius, int x, int y)
{
    if (!rect.Contains(x, y))
        return 0;
    if (radius <= 0)
        return 1;
    float cx;
    float cy;
    if (x < rect.left + radius)
        cx = static_cast<float>(rect.left + radius);
    else if (x >= rect.right - radius)
        cx = static_cast<float>(rect.right - radius);
    else
        return 1;
    if (y < rect.top + radius)
        cy = static_cast<float>(rect.top + radius);
    else if (y >= rect.bottom - radius)
        cy = static_cast<float>(rect.bottom - radius);
    else
        return 1;
    float dx = x + 0.5f - cx;
    float dy = y + 0.5f - cy;
    float distance = std::sqrt(dx * dx + dy * dy);
    return std::clamp(radius - distance + 0.5f, 0.0f, 1.0f);
}

unsigned ToCoverage(float fraction)
{
    return static_cast<unsigned>(std::lround(std::clamp(fraction, 0.0f, 1.0f) * 255));
}

} // namespace

Painter::Painter(Framebuffer& target)
    : m_target(target)
{
    m_clips.push_back(target.Bounds());
}

void Painter::PushClip(const CRect& rect)
{
    m_clips.push_back(Clip().Intersect(rect));
}

void Painter::PopClip()
{
    if (m_clips.size() > 1)
        m_clips.pop_back();
}

void Painter::BlendPixel(int x, int y, std::uint32_t argb, unsigned coverage)
{
    if (!Clip().Contains(x, y))
        return;
    std::uint32_t& pixel = m_target.Row(y)[x];
    pixel = Color::Blend(pixel, argb, coverage);
}

void Painter::FillRect(const CRect& rect, std::uint32_t argb)
{
    CRect area = rect.Intersect(Clip());
    if (area.IsEmpty() || Color::IsTransparent(argb))
        return;
    bool opaque = Color::Alpha(argb) == 0xFF;
    for (int y = area.top; y < area.bottom; ++y) {
        std::uint32_t* row = m_target.Row(y);
        for (int x = area.left; x < area.right; ++x)
            row[x] = opaque ? argb : Color::Blend(row[x], argb);
    }
}

void Painter::FillVerticalGradient(const CRect& rect, std::uint32_t top, std::uint32_t bottom)
{
    CRect area = rect.Intersect(Clip());
    for (int y = area.top; y < area.bottom; ++y)
        FillRect({ area.left, y, area.right, y + 1 }, GradientAt(rect, y, top, bottom));
}

void Painter::DrawRect(const CRect& rect, std::uint32_t argb, int thickness)
{
    if (rect.IsEmpty() || thickness <= 0)
        return;
    int t = std::min({ thickness, rect.Width(), rect.Height() });
    FillRect({ rect.left, rect.top, rect.right, rect.top + t }, argb);
    FillRect({ rect.left, rect.bottom - t, rect.right, rect.bottom }, argb);
    FillRect({ rect.left, rect.top + t, rect.left + t, rect.bottom - t }, argb);
    FillRect({ rect.right - t, rect.top + t, rect.right, rect.bottom - t }, argb);
}

template<typename RowColour>
void Painter::FillRounded(const CRect& rect, int radius, RowColour rowColour)
{
    CRect area = rect.Intersect(Clip());
    radius = CappedRadius(rect, radius);
    for (int y = area.top; y < area.bottom; ++y) {
        std::uint32_t colour = rowColour(y);
        bool inCornerBand = y < rect.top + radius || y >= rect.bottom - radius;
        if (!inCornerBand) {
            FillRect({ area.left, y, area.right, y + 1 }, colour);
            continue;
        }
        for (int x = area.left; x < area.right; ++x) {
            unsigned coverage = ToCoverage(RoundedCoverage(rect, radius, x, y));
            if (coverage)
                BlendPixel(x, y, colour, coverage);
        }
    }
}

void Painter::FillRoundedRect(const CRect& rect, int radius, std::uint32_t argb)
{
    FillRounded(rect, radius, [argb](int) { return argb; });
}

void Painter::FillRoundedRectGradient(const CRect& rect, int radius, std::uint32_t top, std::uint32_t bottom)
{
    FillRounded(rect, radius, [&](int y) { return GradientAt(rect, y, top, bottom); });
}

void Painter::DrawRoundedRect(const CRect& rect, int radius, std::uint32_t argb, int thickness)
{
    if (thickness <= 0 || rect.IsEmpty())
        return;
    radius = CappedRadius(rect, radius);
    CRect inner { rect.left + thickness, rect.top + thickness, rect.right - thickness, rect.bottom - thickness };
    if (inner.IsEmpty()) {
        FillRoundedRect(rect, radius, argb);
        return;
    }
    int innerRadius = CappedRadius(inner, std::max(radius - thickness, 0));
    CRect area = rect.Intersect(Clip());
    for (int y = area.top; y < area.bottom; ++y) {
        bool inCornerBand = y < rect.top + radius || y >= rect.bottom - radius;
        bool inEdgeBand = y < inner.top || y >= inner.bottom;
        if (!inCornerBand && !inEdgeBand) {
            // Only the left and right strokes cross this row.
            FillRect({ rect.left, y, inner.left, y + 1 }, argb);
            FillRect({ inner.right, y, rect.right, y + 1 }, argb);
            continue;
        }
        for (int x = area.left; x < area.right; ++x) {
            float outer = RoundedCoverage(rect, radius, x, y);
            float hole = RoundedCoverage(inner, innerRadius, x, y);
            unsigned coverage = ToCoverage(outer - hole);
            if (coverage)
                BlendPixel(x, y, argb, coverage);
        }
    }
}

void Painter::DrawImage(const Image& image, CPoint at, unsigned opacity)
{
    CRect dest { at.x, at.y, at.x + image.Width(), at.y + image.Height() };
    CRect area = dest.Intersect(Clip());
    for (int y = area.top; y < area.bottom; ++y) {
        const std::uint32_t* source = image.Row(y - at.y);
        std::uint32_t* row = m_target.Row(y);
        for (int x = area.left; x < area.right; ++x)
            row[x] = Color::Blend(row[x], source[x - at.x], opacity);
    }
}

void Painter::DrawImageScaled(const Image& image, const CRect& dest, unsigned opacity)
{
    if (image.IsNull() || dest.IsEmpty())
        return;
    if (image.Width() == dest.Width() && image.Height() == dest.Height()) {
        DrawImage(image, { dest.left, dest.top }, opacity);
        return;
    }
    CRect area = dest.Intersect(Clip());
    float scaleX = static_cast<float>(image.Width()) / dest.Width();
    float scaleY = static_cast<float>(image.Height()) / dest.Height();
    auto sample = [&](int sx, int sy) {
        return image.Pixel(std::clamp(sx, 0, image.Width() - 1), std::clamp(sy, 0, image.Height() - 1));
    };
    for (int y = area.top; y < area.bottom; ++y) {
        float fy = (y - dest.top + 0.5f) * scaleY - 0.5f;
        int y0 = static_cast<int>(std::floor(fy));
        auto ty = static_cast<unsigned>(std::lround((fy - y0) * 255));
        for (int x = area.left; x < area.right; ++x) {
            float fx = (x - dest.left + 0.5f) * scaleX - 0.5f;
            int x0 = static_cast<int>(std::floor(fx));
            auto tx = static_cast<unsigned>(std::lround((fx - x0) * 255));
            std::uint32_t upper = Color::Mix(sample(x0, y0), sample(x0 + 1, y0), tx);
            std::uint32_t lower = Color::Mix(sample(x0, y0 + 1), sample(x0 + 1, y0 + 1), tx);
            BlendPixel(x, y, Color::Mix(upper, lower, ty), opacity);
        }
    }
}

void Painter::DrawText(const std::wstring& text, const CRect& rect, const Font& font, std::uint32_t argb, unsigned format)
{
    if (text.empty() || Color::IsTransparent(argb))
        return;
    TextLayout layout(font, text, format, rect.Width());
    bool clipped = !(format & TextFormat::NoClip);
    if (clipped)
        PushClip(rect);

    int y = rect.top;
    if (format & TextFormat::VCenter)
        y = rect.top + (rect.Height() - layout.Height()) / 2;
    else if (format & TextFormat::Bottom)
        y = rect.bottom - layout.Height();

    for (const TextLayout::Line& line : layout.Lines()) {
        int x = rect.left;
        if (format & TextFormat::Center)
            x = rect.left + (rect.Width() - line.width) / 2;
        else if (format & TextFormat::Right)
            x = rect.right - line.width;
        int baseline = y + font.Ascent();
        float pen = static_cast<float>(x);
        for (size_t i = 0; i < line.text.size(); ++i) {
            const Font::Glyph& glyph = font.GlyphFor(line.text[i]);
            int left = static_cast<int>(std::lround(pen)) + glyph.left;
            int top = baseline + glyph.top;
            for (int gy = 0; gy < glyph.height; ++gy) {
                const std::uint8_t* coverage = glyph.coverage.data() + static_cast<size_t>(gy) * glyph.width;
                for (int gx = 0; gx < glyph.width; ++gx) {
                    if (coverage[gx])
                        BlendPixel(left + gx, top + gy, argb, coverage[gx]);
                }
            }
            pen += glyph.advance;
            if (i + 1 < line.text.size())
                pen += font.Kerning(line.text[i], line.text[i + 1]);
        }
        y += font.LineHeight();
    }
    if (clipped)
        PopClip();
}

CPoint Painter::MeasureText(const std::wstring& text, const Font& font, unsigned format, int width)
{
    TextLayout layout(font, text, format, width);
    return { layout.Width(), layout.Height() };
}

void Painter::DrawDottedRect(const CRect& rect, std::uint32_t argb)
{
    if (rect.IsEmpty())
        return;
    for (int x = rect.left; x < rect.right; ++x) {
        if ((x - rect.left) % 2 == 0) {
            BlendPixel(x, rect.top, argb);
            BlendPixel(x, rect.bottom - 1, argb);
        }
    }
    for (int y = rect.top + 1; y < rect.bottom - 1; ++y) {
        if ((y - rect.top) % 2 == 0) {
            BlendPixel(rect.left, y, argb);
            BlendPixel(rect.right - 1, y, argb);
        }
    }
}

void Painter::DrawFocusRing(const CRect& rect, int radius, std::uint32_t argb, int thickness)
{
    DrawRoundedRect(rect, radius, argb, thickness);
}
