#pragma once

#include "framework/Framebuffer.h"

#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

// The layout of one skinned window as the script describes it: plain data, no resources loaded.
// Colours are 0xAARRGGBB; a colour with alpha 0 means "none". Every item remembers the script
// line it came from, so a later failure (a missing font or image file) can name it.

// A solid colour (top == bottom) or a vertical gradient from top to bottom.
struct Fill {
    std::uint32_t top = 0;
    std::uint32_t bottom = 0;

    bool IsNone() const { return (top >> 24) == 0 && (bottom >> 24) == 0; }
    bool IsGradient() const { return top != bottom; }
    static Fill Solid(std::uint32_t argb) { return { argb, argb }; }
};

struct FontSpec {
    int index = 0;
    std::wstring file; // a file name in the skin folder (beside the executable)
    double pixelSize = 0; // whole in the script; a scaled window keeps the fraction
    int line = 0;
};

struct ImageRef {
    std::wstring file; // empty: no image
    int line = 0;

    bool IsNone() const { return file.empty(); }
};

enum class FaceState { Normal = 0, Hover = 1, Pressed = 2, Disabled = 3 };
constexpr int FaceStateCount = 4;

enum class HAlign { Left, Center, Right };
enum class VAlign { Top, Center, Bottom };

// How one state of a button looks.
struct FaceStyle {
    Fill fill;
    std::uint32_t border = 0;
    std::uint32_t textColor = 0xFF000000;
    ImageRef image; // drawn stretched over the face instead of fill and border
};

struct ButtonLayout {
    int id = 0;
    CRect rect;
    int radius = 0;
    int borderWidth = 1;
    std::array<FaceStyle, FaceStateCount> faces;
    int font = 0;
    HAlign align = HAlign::Center;
    int padding = 8;                 // inner horizontal margin for the caption
    int pressedShift = 1;            // the caption moves down this much while pressed
    bool useFaceOffsets = false;     // apply the program's per-state text offsets
    std::wstring caption;            // default caption; the program may replace it
    bool visible = true;
    bool enabled = true;
    int line = 0;

    const FaceStyle& Face(FaceState state) const { return faces[static_cast<int>(state)]; }
    unsigned TextFormat() const; // single line, vertically centred, aligned by `align`
};

struct StaticLayout {
    int id = 0;
    CRect rect;
    int font = 0;
    std::uint32_t color = 0xFF000000;
    HAlign align = HAlign::Left;
    VAlign valign = VAlign::Center;
    bool wrap = false;
    int padding = 0; // inner margin on all sides, for statics with a fill or border
    Fill fill;
    std::uint32_t border = 0;
    int radius = 0;
    bool visible = true;
    bool hasFixedText = false;
    std::wstring text; // the fixed text when hasFixedText
    int textId = 0;    // the ID whose text is asked from the window; the static's own ID by default
    int line = 0;

    unsigned TextFormat() const;
    CRect TextRect() const { return { rect.left + padding, rect.top + padding, rect.right - padding, rect.bottom - padding }; }
};

struct DropListLayout {
    int id = 0;
    CRect rect; // the closed box; the open list hangs below it
    int font = 0;
    int radius = 4;
    int padding = 8;
    int itemHeight = 24;
    int visibleItems = 5; // the open list shows at most this many items, then scrolls
    Fill fill = Fill::Solid(0xFFFFFFFF);
    std::uint32_t border = 0xFF9AA5B1;
    std::uint32_t textColor = 0xFF1F2A36;
    std::uint32_t arrowColor = 0xFF1F2A36;
    Fill disabledFill = Fill::Solid(0xFFE9EDF2);
    std::uint32_t disabledTextColor = 0xFF8A96A3;
    std::uint32_t listFill = 0xFFFFFFFF;
    std::uint32_t selectedFill = 0xFF218BE7;
    std::uint32_t selectedTextColor = 0xFFFFFFFF;
    std::uint32_t hoverFill = 0xFFE3F0FC;
    bool visible = true;
    bool enabled = true;
    int line = 0;
};

struct ProgressLayout {
    int id = 0;
    CRect rect;
    int radius = 0;
    Fill track = Fill::Solid(0xFFE3E8EE);
    Fill bar = Fill::Solid(0xFF218BE7);
    std::uint32_t border = 0;
    int inset = 0; // gap between the border and the bar
    bool visible = true;
    int line = 0;
};

// A decoration painted with the window background, under every control: a box, a fixed
// label, or a picture.
struct Decoration {
    enum class Kind { Box, Label, Picture };
    Kind kind = Kind::Box;
    CRect rect;
    Fill fill;
    std::uint32_t border = 0;
    int borderWidth = 1;
    int radius = 0;
    std::wstring text;
    int font = 0;
    std::uint32_t color = 0xFF000000;
    HAlign align = HAlign::Left;
    VAlign valign = VAlign::Center;
    ImageRef image;
    int line = 0;

    unsigned TextFormat() const;
};

struct WindowLayout {
    std::wstring name;
    int width = 0;
    int height = 0;
    Fill background = Fill::Solid(0xFFFFFFFF);
    ImageRef backgroundImage;
    std::uint32_t focusColor = 0xFF218BE7;
    // The band at the top that holds the title and the window's own buttons (close,
    // minimise); a window that opens focuses its first control below it.
    int headerHeight = 0;
    std::map<int, FontSpec> fonts;
    std::vector<Decoration> decorations; // in script order, painted in that order
    std::map<int, ButtonLayout> buttons;
    std::map<int, StaticLayout> statics;
    std::map<int, DropListLayout> dropLists;
    std::map<int, ProgressLayout> progressBars;
    int line = 0;

    CRect Bounds() const { return { 0, 0, width, height }; }
    // The same layout for a window drawn `scale` times the script's size: every position,
    // size, radius, border, padding and font size multiplied. Edges are rounded one by one,
    // so rectangles that meet in the script still meet, and a border stays at least 1 pixel.
    WindowLayout Scaled(double scale) const;
    const ButtonLayout* FindButton(int id) const;
    const StaticLayout* FindStatic(int id) const;
    const DropListLayout* FindDropList(int id) const;
    const ProgressLayout* FindProgress(int id) const;
    bool HasControl(int id) const;
};
