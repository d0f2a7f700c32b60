#include "uilib/TextLayout.h"

#include <algorithm>

TextLayout::TextLayout(const Font& font, const std::wstring& text, unsigned format, int width)
    : m_font(font)
{
    std::u32string codePoints = Font::CodePoints(text);
    if (format & TextFormat::SingleLine) {
        // A single line shows no line breaks at all.
        codePoints.erase(std::remove_if(codePoints.begin(), codePoints.end(), [](char32_t c) { return c == U'\r' || c == U'\n'; }),
            codePoints.end());
        AddLine(std::move(codePoints));
        return;
    }
    size_t start = 0;
    while (start <= codePoints.size()) {
        size_t end = codePoints.find(U'\n', start);
        if (end == std::u32string::npos)
            end = codePoints.size();
        std::u32string paragraph = codePoints.substr(start, end - start);
        if (!paragraph.empty() && paragraph.back() == U'\r')
            paragraph.pop_back();
        if (format & TextFormat::WordBreak)
            AddWrapped(paragraph, width);
        else
            AddLine(std::move(paragraph));
        start = end + 1;
    }
}

int TextLayout::Width() const
{
    int widest = 0;
    for (const Line& line : m_lines)
        widest = std::max(widest, line.width);
    return widest;
}

void TextLayout::AddLine(std::u32string text)
{
    int width = m_font.MeasureWidth(text);
    m_lines.push_back({ std::move(text), width });
}

void TextLayout::AddWrapped(const std::u32string& paragraph, int width)
{
    std::u32string line;
    size_t i = 0;
    while (i < paragraph.size()) {
        size_t wordEnd = paragraph.find(U' ', i);
        if (wordEnd == std::u32string::npos)
            wordEnd = paragraph.size();
        std::u32string word = paragraph.substr(i, wordEnd - i);
        std::u32string candidate = line.empty() ? word : line + U' ' + word;
        if (line.empty() || m_font.MeasureWidth(candidate) <= width) {
            line = std::move(candidate);
        } else {
            AddLine(std::move(line));
            line = std::move(word);
        }
        i = wordEnd + 1;
    }
    AddLine(std::move(line));
}
