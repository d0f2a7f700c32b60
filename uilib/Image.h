#pragma once

#include "framework/Framebuffer.h"

#include <cstdint>
#include <string>
#include <vector>

// An RGBA picture in memory: 0xAARRGGBB pixels with straight alpha, row-major. PNG in, PNG out.
class Image {
public:
    Image() = default;
    Image(int width, int height, std::uint32_t fill = 0);

    // Throws CException(reason, path) when the file cannot be read or is no valid PNG.
    static Image LoadPng(const std::wstring& path);
    // `name` only names the data in the exception's message.
    static Image DecodePng(const std::uint8_t* data, size_t size, const std::wstring& name);

    // Writes `region` of the framebuffer (clipped to it) as an RGBA PNG. False when nothing
    // could be written (empty region, unwritable path).
    static bool SavePng(const Framebuffer& source, const CRect& region, const std::wstring& path);
    static std::vector<std::uint8_t> EncodePng(const Framebuffer& source, const CRect& region);

    bool IsNull() const { return m_width == 0 || m_height == 0; }
    int Width() const { return m_width; }
    int Height() const { return m_height; }
    std::uint32_t Pixel(int x, int y) const { return m_pixels[static_cast<size_t>(y) * m_width + x]; }
    void SetPixel(int x, int y, std::uint32_t argb) { m_pixels[static_cast<size_t>(y) * m_width + x] = argb; }
    const std::uint32_t* Row(int y) const { return m_pixels.data() + static_cast<size_t>(y) * m_width; }

private:
    int m_width = 0;
    int m_height = 0;
    std::vector<std::uint32_t> m_pixels;
};
