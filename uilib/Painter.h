#pragma once

#include "framework/Framebuffer.h"
#include "uilib/TextLayout.h"

#include <cstdint>
#include <string>
#include <vector>

class Font;
class Image;

// Draws into a Framebuffer, always inside the current clip rectangle. Colours are 0xAARRGGBB
// with straight alpha; anything not fully opaque is blended over what is there.
// Coordinates are framebuffer pixels; a CRect is half-open (right and bottom excluded).
class Painter {
public:
    explicit Painter(Framebuffer& target);

    Framebuffer& Target() { return m_target; }

    // Clipping: PushClip narrows the current clip to its intersection with `rect`; PopClip
    // restores the one before. The bottom clip (the whole framebuffer) cannot be popped.
    void PushClip(const CRect& rect);
    void PopClip();
    const CRect& Clip() const { return m_clips.back(); }

    class ScopedClip {
    public:
        ScopedClip(Painter& painter, const CRect& rect)
            : m_painter(painter)
        {
            m_painter.PushClip(rect);
        }
        ~ScopedClip() { m_painter.PopClip(); }
        ScopedClip(const ScopedClip&) = delete;
        ScopedClip& operator=(const ScopedClip&) = delete;

    private:
        Painter& m_painter;
    };

    // One pixel, its colour weighted by `coverage` (0-255).
    void BlendPixel(int x, int y, std::uint32_t argb, unsigned coverage = 255);

    void FillRect(const CRect& rect, std::uint32_t argb);
    // First row exactly `top`, last row exactly `bottom`, linear in between.
    void FillVerticalGradient(const CRect& rect, std::uint32_t top, std::uint32_t bottom);
    void DrawRect(const CRect& rect, std::uint32_t argb, int thickness = 1);

    // Rounded rectangles with anti-aliased corners. The radius is capped at half the shorter side.
    void FillRoundedRect(const CRect& rect, int radius, std::uint32_t argb);
    void FillRoundedRectGradient(const CRect& rect, int radius, std::uint32_t top, std::uint32_t bottom);
    // A ring of `thickness` pixels along the inside of the rounded rectangle.
    void DrawRoundedRect(const CRect& rect, int radius, std::uint32_t argb, int thickness = 1);

    // The image at its own size with its top-left corner at `at`, blended by its alpha and
    // further by `opacity`.
    void DrawImage(const Image& image, CPoint at, unsigned opacity = 255);
    // The image stretched (bilinear) to fill `dest`.
    void DrawImageScaled(const Image& image, const CRect& dest, unsigned opacity = 255);

    // Text in `rect` after the Win32 DrawText flags of TextFormat: horizontal Left/Center/Right,
    // vertical top (default), VCenter or Bottom (for any number of lines), SingleLine, WordBreak.
    // The text is clipped to `rect` unless NoClip is given.
    void DrawText(const std::wstring& text, const CRect& rect, const Font& font, std::uint32_t argb, unsigned format);
    // Width and height of the text block DrawText would draw in a rectangle `width` wide.
    static CPoint MeasureText(const std::wstring& text, const Font& font, unsigned format, int width = 1 << 20);

    // Keyboard focus marks: a dotted 1px rectangle, or a solid ring (2px unless told).
    void DrawDottedRect(const CRect& rect, std::uint32_t argb);
    void DrawFocusRing(const CRect& rect, int radius, std::uint32_t argb, int thickness = 2);

private:
    template<typename RowColour>
    void FillRounded(const CRect& rect, int radius, RowColour rowColour);

    Framebuffer& m_target;
    std::vector<CRect> m_clips;
};
