#pragma once

#include "uilib/Font.h"

#include <string>
#include <vector>

// Text drawing flags: the Win32 DrawText values, so flag words from the program mean the same.
// 32 (SingleLine) is single-line left-aligned text, 33 (SingleLine | Center) centred text.
namespace TextFormat {
constexpr unsigned Left = 0x0;
constexpr unsigned Center = 0x1;
constexpr unsigned Right = 0x2;
constexpr unsigned VCenter = 0x4;
constexpr unsigned Bottom = 0x8;
constexpr unsigned WordBreak = 0x10;
constexpr unsigned SingleLine = 0x20;
constexpr unsigned NoClip = 0x100;
constexpr unsigned NoPrefix = 0x800; // accepted; '&' is never treated as a mnemonic marker
}

// Breaks a text into the lines that DrawText would draw. Without SingleLine, '\n' (and "\r\n")
// start a new line, and with WordBreak lines are wrapped at spaces to fit `width`; a word that
// is wider than `width` alone stays whole and is clipped when drawn.
class TextLayout {
public:
    struct Line {
        std::u32string text;
        int width = 0;
    };

    TextLayout(const Font& font, const std::wstring& text, unsigned format, int width);

    const std::vector<Line>& Lines() const { return m_lines; }
    int Width() const; // widest line
    int Height() const { return static_cast<int>(m_lines.size()) * m_font.LineHeight(); }

private:
    void AddWrapped(const std::u32string& paragraph, int width);
    void AddLine(std::u32string text);

    const Font& m_font;
    std::vector<Line> m_lines;
};
