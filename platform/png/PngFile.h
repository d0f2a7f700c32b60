#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace platform {

// 0xAARRGGBB pixels (stride in pixels) as the bytes of an RGBA PNG file; empty on failure.
std::vector<std::uint8_t> EncodePng(const std::uint32_t* pixels, int width, int height, int stride);
// The same written to a file (a native path); false when nothing could be written.
bool WritePng(const std::string& path, const std::uint32_t* pixels, int width, int height, int stride);

} // namespace platform
