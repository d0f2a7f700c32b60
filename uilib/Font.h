#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

// One TrueType face at one pixel size (fractional in a scaled window). Glyphs are rendered anti-aliased on first use and kept.
// A code point the face lacks is drawn with the face's own .notdef glyph (its box).
// Safe to use from several threads; painting normally happens on the UI thread only.
class Font {
public:
    struct Glyph {
        int width = 0;    // coverage bitmap size
        int height = 0;
        int left = 0;     // bitmap origin relative to the pen position on the baseline
        int top = 0;      // negative: above the baseline
        float advance = 0;
        int index = 0;    // glyph index in the face, 0 is .notdef
        std::vector<std::uint8_t> coverage; // width * height, 0-255
    };

    ~Font();
    Font(const Font&) = delete;
    Font& operator=(const Font&) = delete;

    // Throws CException(reason, path) when the file is unreadable or no usable TrueType font.
    static std::shared_ptr<const Font> LoadFromFile(const std::wstring& path, double pixelSize);
    // `name` only names the data in the exception's message.
    static std::shared_ptr<const Font> LoadFromMemory(std::vector<std::uint8_t> data, double pixelSize, const std::wstring& name);

    double PixelSize() const { return m_pixelSize; }
    int Ascent() const { return m_ascent; }     // pixels above the baseline
    int Descent() const { return m_descent; }   // pixels below the baseline, positive
    int LineHeight() const { return m_lineHeight; }
    bool HasGlyph(char32_t codePoint) const;

    const Glyph& GlyphFor(char32_t codePoint) const;
    float Kerning(char32_t left, char32_t right) const;
    // Width in pixels of one line of text (line breaks are not treated specially).
    int MeasureWidth(const std::u32string& text) const;
    int MeasureWidth(const std::wstring& text) const;

    // Code points of a wide string: UTF-32 or UTF-16 alike, surrogate pairs joined and a lone
    // surrogate replaced by U+FFFD.
    static std::u32string CodePoints(const std::wstring& text);

private:
    struct Face;
    Font(std::vector<std::uint8_t> data, double pixelSize);

    std::vector<std::uint8_t> m_data;
    std::unique_ptr<Face> m_face;
    double m_pixelSize = 0;
    int m_ascent = 0;
    int m_descent = 0;
    int m_lineHeight = 0;
    mutable std::mutex m_cacheLock;
    mutable std::map<char32_t, Glyph> m_cache;
};
