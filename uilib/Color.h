#pragma once

#include <cstdint>

// Colours in the canvas library are 0xAARRGGBB with straight (not premultiplied) alpha, the
// same layout as a Framebuffer pixel.
namespace Color {

constexpr std::uint32_t Argb(std::uint8_t a, std::uint8_t r, std::uint8_t g, std::uint8_t b)
{
    return (std::uint32_t(a) << 24) | (std::uint32_t(r) << 16) | (std::uint32_t(g) << 8) | b;
}
constexpr std::uint8_t Alpha(std::uint32_t c) { return std::uint8_t(c >> 24); }
constexpr std::uint8_t Red(std::uint32_t c) { return std::uint8_t(c >> 16); }
constexpr std::uint8_t Green(std::uint32_t c) { return std::uint8_t(c >> 8); }
constexpr std::uint8_t Blue(std::uint32_t c) { return std::uint8_t(c); }
constexpr bool IsTransparent(std::uint32_t c) { return Alpha(c) == 0; }

// A Win32 COLORREF (0x00BBGGRR) as an opaque colour of ours.
constexpr std::uint32_t FromColorref(std::uint32_t colorref)
{
    return Argb(0xFF, std::uint8_t(colorref), std::uint8_t(colorref >> 8), std::uint8_t(colorref >> 16));
}

constexpr std::uint32_t WithAlpha(std::uint32_t c, std::uint8_t alpha) { return (c & 0x00FFFFFF) | (std::uint32_t(alpha) << 24); }

// Linear mix: t = 0 gives a, t = 255 gives b, every channel including alpha.
constexpr std::uint32_t Mix(std::uint32_t a, std::uint32_t b, unsigned t)
{
    auto channel = [&](int shift) {
        unsigned ca = (a >> shift) & 0xFF;
        unsigned cb = (b >> shift) & 0xFF;
        return ((ca * (255 - t) + cb * t + 127) / 255) << shift;
    };
    return channel(24) | channel(16) | channel(8) | channel(0);
}

// Source-over of colour `src`, further weighted by `coverage` (0-255), onto `dst`.
inline std::uint32_t Blend(std::uint32_t dst, std::uint32_t src, unsigned coverage = 255)
{
    unsigned sa = (Alpha(src) * coverage + 127) / 255;
    if (sa == 0)
        return dst;
    if (sa == 255)
        return src;
    unsigned da = Alpha(dst);
    unsigned outA = sa + (da * (255 - sa) + 127) / 255;
    if (outA == 0)
        return 0;
    auto channel = [&](int shift) {
        unsigned cs = (src >> shift) & 0xFF;
        unsigned cd = (dst >> shift) & 0xFF;
        unsigned premultiplied = cs * sa + (cd * da * (255 - sa) + 127) / 255;
        return ((premultiplied + outA / 2) / outA) & 0xFF;
    };
    return (outA << 24) | (channel(16) << 16) | (channel(8) << 8) | channel(0);
}

} // namespace Color
