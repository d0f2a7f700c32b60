#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

struct CRect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;

    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
    bool IsEmpty() const { return right <= left || bottom <= top; }
    bool Contains(int x, int y) const { return x >= left && x < right && y >= top && y < bottom; }
    CRect Intersect(const CRect& other) const;
    CRect Union(const CRect& other) const; // an empty side counts as nothing
    CRect Offset(int dx, int dy) const { return { left + dx, top + dy, right + dx, bottom + dy }; }
    bool operator==(const CRect& other) const
    {
        return left == other.left && top == other.top && right == other.right && bottom == other.bottom;
    }
};

struct CPoint {
    int x = 0;
    int y = 0;
};

// A top-level window's pixels: 0xAARRGGBB, row-major, no padding.
class Framebuffer {
public:
    Framebuffer() = default;
    Framebuffer(int width, int height, std::uint32_t fill = 0xFF000000);

    void Resize(int width, int height, std::uint32_t fill = 0xFF000000);
    int Width() const { return m_width; }
    int Height() const { return m_height; }
    CRect Bounds() const { return { 0, 0, m_width, m_height }; }
    std::uint32_t* Row(int y) { return m_pixels.data() + static_cast<size_t>(y) * m_width; }
    const std::uint32_t* Row(int y) const { return m_pixels.data() + static_cast<size_t>(y) * m_width; }
    std::uint32_t Pixel(int x, int y) const { return Row(y)[x]; }
    std::uint32_t* Data() { return m_pixels.data(); }
    const std::uint32_t* Data() const { return m_pixels.data(); }

private:
    int m_width = 0;
    int m_height = 0;
    std::vector<std::uint32_t> m_pixels;
};
