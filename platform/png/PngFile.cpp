#include "platform/png/PngFile.h"

#include <fstream>

#define STB_IMAGE_WRITE_IMPLEMENTATION
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wsign-compare"
#include <stb/stb_image_write.h>
#pragma GCC diagnostic pop

namespace platform {

namespace {

void AppendBytes(void* context, void* data, int size)
{
    auto* out = static_cast<std::vector<std::uint8_t>*>(context);
    auto* bytes = static_cast<const std::uint8_t*>(data);
    out->insert(out->end(), bytes, bytes + size);
}

} // namespace

std::vector<std::uint8_t> EncodePng(const std::uint32_t* pixels, int width, int height, int stride)
{
    if (width <= 0 || height <= 0)
        return {};
    std::vector<unsigned char> rgba(static_cast<size_t>(width) * height * 4);
    unsigned char* out = rgba.data();
    for (int y = 0; y < height; ++y) {
        const std::uint32_t* row = pixels + static_cast<size_t>(y) * stride;
        for (int x = 0; x < width; ++x) {
            std::uint32_t pixel = row[x];
            *out++ = static_cast<unsigned char>(pixel >> 16);
            *out++ = static_cast<unsigned char>(pixel >> 8);
            *out++ = static_cast<unsigned char>(pixel);
            *out++ = static_cast<unsigned char>(pixel >> 24);
        }
    }
    std::vector<std::uint8_t> png;
    if (!stbi_write_png_to_func(AppendBytes, &png, width, height, 4, rgba.data(), width * 4))
        return {};
    return png;
}

bool WritePng(const std::string& path, const std::uint32_t* pixels, int width, int height, int stride)
{
    std::vector<std::uint8_t> png = EncodePng(pixels, width, height, stride);
    if (png.empty())
        return false;
    std::ofstream stream(path, std::ios::binary | std::ios::trunc);
    if (!stream)
        return false;
    stream.write(reinterpret_cast<const char*>(png.data()), static_cast<std::streamsize>(png.size()));
    stream.close();
    return !stream.fail();
}

} // namespace platform
