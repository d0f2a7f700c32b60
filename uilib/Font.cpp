#include "uilib/Font.h"

#include "framework/CException.h"
#include "platform/files/FileData.h"

#include <cmath>
#include <filesystem>
#include <tuple>

#define STB_TRUETYPE_IMPLEMENTATION
#define STBTT_STATIC
#if defined(__GNUC__)
#    pragma GCC diagnostic push
#    pragma GCC diagnostic ignored "-Wunused-function"
#    pragma GCC diagnostic ignored "-Wsign-compare"
#endif
#include <stb_truetype.h>
#if defined(__GNUC__)
#    pragma GCC diagnostic pop
#endif

struct Font::Face {
    stbtt_fontinfo info {};
    float scale = 0;
};

namespace {

constexpr int SmallestSize = 4;
constexpr int LargestSize = 1024; // the script's largest, 256, at the largest window scale

} // namespace

Font::Font(std::vector<std::uint8_t> data, double pixelSize)
    : m_data(std::move(data))
    , m_face(std::make_unique<Face>())
    , m_pixelSize(pixelSize)
{
}

Font::~Font() = default;

std::shared_ptr<const Font> Font::LoadFromFile(const std::wstring& path, double pixelSize)
{
    // Every window loads the same few fonts: one that is still in use is shared, as long as
    // its file has not changed since it was read.
    struct Key {
        std::wstring path;
        double pixelSize;
        std::uintmax_t fileSize;
        std::filesystem::file_time_type modified;
        bool operator<(const Key& other) const
        {
            return std::tie(path, pixelSize, fileSize, modified) < std::tie(other.path, other.pixelSize, other.fileSize, other.modified);
        }
    };
    static std::mutex cacheLock;
    static std::map<Key, std::weak_ptr<const Font>> cache;

    std::error_code error;
    auto native = FileData::NativePath(path);
    Key key { path, pixelSize, std::filesystem::file_size(native, error), std::filesystem::last_write_time(native, error) };
    if (!error) {
        std::lock_guard lock(cacheLock);
        if (auto font = cache[key].lock())
            return font;
    }
    auto bytes = FileData::ReadAll(path);
    if (!bytes)
        throw CException(L"cannot read the font file", path);
    auto font = LoadFromMemory(std::move(*bytes), pixelSize, path);
    if (!error) {
        std::lock_guard lock(cacheLock);
        cache[key] = font;
    }
    return font;
}

std::shared_ptr<const Font> Font::LoadFromMemory(std::vector<std::uint8_t> data, double pixelSize, const std::wstring& name)
{
    if (pixelSize < SmallestSize || pixelSize > LargestSize)
        throw CException(L"font size " + std::to_wstring(std::lround(pixelSize)) + L" is outside 4 to 1024 pixels", name);
    if (data.size() < 12)
        throw CException(L"not a TrueType font", name);
    std::shared_ptr<Font> font(new Font(std::move(data), pixelSize));
    const unsigned char* bytes = font->m_data.data();
    int offset = stbtt_GetFontOffsetForIndex(bytes, 0);
    if (offset < 0 || !stbtt_InitFont(&font->m_face->info, bytes, offset))
        throw CException(L"not a TrueType font", name);

    Face& face = *font->m_face;
    face.scale = stbtt_ScaleForMappingEmToPixels(&face.info, static_cast<float>(pixelSize));
    int ascent = 0, descent = 0, lineGap = 0;
    stbtt_GetFontVMetrics(&face.info, &ascent, &descent, &lineGap);
    // A damaged file can hold any numbers here: keep the metrics within reason or refuse it.
    auto sensible = [&](double pixels) { return std::isfinite(pixels) && std::fabs(pixels) <= 16.0 * pixelSize; };
    if (!(face.scale > 0) || !sensible(ascent * face.scale) || !sensible(descent * face.scale) || !sensible(lineGap * face.scale))
        throw CException(L"not a usable TrueType font", name);
    font->m_ascent = static_cast<int>(std::ceil(ascent * face.scale));
    font->m_descent = static_cast<int>(std::ceil(-descent * face.scale));
    font->m_lineHeight = font->m_ascent + font->m_descent + static_cast<int>(std::lround(lineGap * face.scale));
    return font;
}

bool Font::HasGlyph(char32_t codePoint) const
{
    return stbtt_FindGlyphIndex(&m_face->info, static_cast<int>(codePoint)) != 0;
}

const Font::Glyph& Font::GlyphFor(char32_t codePoint) const
{
    std::lock_guard guard(m_cacheLock);
    auto cached = m_cache.find(codePoint);
    if (cached != m_cache.end())
        return cached->second;

    Glyph glyph;
    glyph.index = stbtt_FindGlyphIndex(&m_face->info, static_cast<int>(codePoint));
    int advance = 0, leftBearing = 0;
    stbtt_GetGlyphHMetrics(&m_face->info, glyph.index, &advance, &leftBearing);
    glyph.advance = advance * m_face->scale;
    int x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    stbtt_GetGlyphBitmapBox(&m_face->info, glyph.index, m_face->scale, m_face->scale, &x0, &y0, &x1, &y1);
    if (x1 > x0 && y1 > y0 && !stbtt_IsGlyphEmpty(&m_face->info, glyph.index)) {
        glyph.width = x1 - x0;
        glyph.height = y1 - y0;
        glyph.left = x0;
        glyph.top = y0;
        glyph.coverage.assign(static_cast<size_t>(glyph.width) * glyph.height, 0);
        stbtt_MakeGlyphBitmap(&m_face->info, glyph.coverage.data(), glyph.width, glyph.height, glyph.width,
            m_face->scale, m_face->scale, glyph.index);
    }
    return m_cache.emplace(codePoint, std::move(glyph)).first->second;
}

float Font::Kerning(char32_t left, char32_t right) const
{
    int a = stbtt_FindGlyphIndex(&m_face->info, static_cast<int>(left));
    int b = stbtt_FindGlyphIndex(&m_face->info, static_cast<int>(right));
    return stbtt_GetGlyphKernAdvance(&m_face->info, a, b) * m_face->scale;
}

int Font::MeasureWidth(const std::u32string& text) const
{
    float pen = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        pen += GlyphFor(text[i]).advance;
        if (i + 1 < text.size())
            pen += Kerning(text[i], text[i + 1]);
    }
    return static_cast<int>(std::ceil(pen - 0.01f));
}

int Font::MeasureWidth(const std::wstring& text) const
{
    return MeasureWidth(CodePoints(text));
}

std::u32string Font::CodePoints(const std::wstring& text)
{
    std::u32string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        auto unit = static_cast<std::uint32_t>(text[i]);
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < text.size()) {
            auto next = static_cast<std::uint32_t>(text[i + 1]);
            if (next >= 0xDC00 && next <= 0xDFFF) {
                out.push_back(static_cast<char32_t>(0x10000 + ((unit - 0xD800) << 10) + (next - 0xDC00)));
                ++i;
                continue;
            }
        }
        if ((unit >= 0xD800 && unit <= 0xDFFF) || unit > 0x10FFFF)
            unit = 0xFFFD;
        out.push_back(static_cast<char32_t>(unit));
    }
    return out;
}
