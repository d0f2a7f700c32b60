#include "uilib/Image.h"

#include "framework/CException.h"
#include "platform/files/FileData.h"
#include "platform/png/PngFile.h"
#include "uilib/Color.h"

#include <fstream>
#include <memory>

#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_PNG
#define STBI_NO_STDIO
#if defined(__GNUC__)
#    pragma GCC diagnostic push
#    pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#    pragma GCC diagnostic ignored "-Wunused-function"
#    pragma GCC diagnostic ignored "-Wsign-compare"
#endif
#include <stb_image.h>
#if defined(__GNUC__)
#    pragma GCC diagnostic pop
#endif

namespace {

// A picture larger than this is refused rather than risking memory on a hostile file.
constexpr int MaximumSide = 8192;

struct StbFree {
    void operator()(unsigned char* p) const { stbi_image_free(p); }
};

} // namespace

Image::Image(int width, int height, std::uint32_t fill)
    : m_width(std::max(width, 0))
    , m_height(std::max(height, 0))
    , m_pixels(static_cast<size_t>(m_width) * m_height, fill)
{
}

Image Image::LoadPng(const std::wstring& path)
{
    auto bytes = FileData::ReadAll(path);
    if (!bytes)
        throw CException(L"cannot read the image file", path);
    return DecodePng(bytes->data(), bytes->size(), path);
}

Image Image::DecodePng(const std::uint8_t* data, size_t size, const std::wstring& name)
{
    if (size > static_cast<size_t>(INT32_MAX))
        throw CException(L"image file too large", name);
    int width = 0;
    int height = 0;
    int channels = 0;
    if (!stbi_info_from_memory(data, static_cast<int>(size), &width, &height, &channels))
        throw CException(L"not a PNG image", name);
    if (width > MaximumSide || height > MaximumSide)
        throw CException(L"image larger than 8192 pixels on a side", name);
    std::unique_ptr<unsigned char, StbFree> rgba(
        stbi_load_from_memory(data, static_cast<int>(size), &width, &height, &channels, 4));
    if (!rgba)
        throw CException(L"damaged PNG image", name);

    Image image(width, height);
    const unsigned char* p = rgba.get();
    for (auto& pixel : image.m_pixels) {
        pixel = Color::Argb(p[3], p[0], p[1], p[2]);
        p += 4;
    }
    return image;
}

std::vector<std::uint8_t> Image::EncodePng(const Framebuffer& source, const CRect& region)
{
    CRect area = region.Intersect(source.Bounds());
    if (area.IsEmpty())
        return {};
    return platform::EncodePng(source.Row(area.top) + area.left, area.Width(), area.Height(), source.Width());
}

bool Image::SavePng(const Framebuffer& source, const CRect& region, const std::wstring& path)
{
    std::vector<std::uint8_t> png = EncodePng(source, region);
    if (png.empty())
        return false;
    std::ofstream stream(FileData::NativePath(path), std::ios::binary | std::ios::trunc);
    if (!stream)
        return false;
    stream.write(reinterpret_cast<const char*>(png.data()), static_cast<std::streamsize>(png.size()));
    stream.close();
    return !stream.fail();
}
