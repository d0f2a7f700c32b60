#pragma once

#include "framework/Framebuffer.h"
#include "uilib/WindowLayout.h"

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class Font;
class Painter;
class WindowSkin;

// Text that the program paints onto a button's faces (fnDrawBtnFace): it replaces the caption.
struct FaceText {
    std::wstring text;
    std::uint32_t color = 0xFFFFFFFF;   // 0xAARRGGBB (see Color::FromColorref)
    std::shared_ptr<const Font> font;  // null: the button's own font
    unsigned format = 0x21;            // TextFormat flags, e.g. 32 or 33
    std::array<CPoint, FaceStateCount> offsets {}; // one per FaceState, used when the skin asks
};

// Paints the parts of a skinned window as its WindowSkin describes them. It keeps no state:
// the canvas windows own the controls' state (hover, pressed, texts, positions) and pass it in.
// All painting stays inside the Painter's clip, so a window can repaint just a dirty rectangle.
// Layouts are in window pixels (the skin's scaled layout); the painter's own lines, rings and
// margins are scaled the same way, so a window at 2x is the 1x one drawn anew, only finer.
class SkinPainter {
public:
    SkinPainter(Painter& painter, const WindowSkin& skin);

    // Background fill, background image and the decorations (boxes, labels, pictures).
    void PaintBackground();

    // A button face in `state`. The text shown is `faceText` when given, else `caption`.
    // Single-line face text is centred vertically unless the button uses the program's offsets.
    // `focused` adds the focus ring, which lies up to FocusMargin script units outside the button.
    void PaintButton(const ButtonLayout& button, FaceState state, const std::wstring& caption, const FaceText* faceText, bool focused);
    static constexpr int FocusMargin = 3;
    static CRect FocusBounds(const WindowSkin& skin, const CRect& rect);

    void PaintStatic(const StaticLayout& label, const std::wstring& text);

    // The closed box of a drop-down list showing `text` (the selected item), and its open list.
    void PaintDropList(const DropListLayout& list, const std::wstring& text, bool enabled, bool focused);
    void PaintDropListPopup(const DropListLayout& list, const std::vector<std::wstring>& items, int firstVisible, int hotItem, int selectedItem);
    // Where the open list lies for `itemCount` items (at most list.visibleItems rows).
    static CRect DropListPopupRect(const WindowSkin& skin, const DropListLayout& list, int itemCount);
    // The item under `point` in the open list, or -1.
    static int DropListItemAt(const WindowSkin& skin, const DropListLayout& list, int itemCount, int firstVisible, CPoint point);

    // The bar filled to (position - low) / (high - low); `barColor` overrides the script's bar.
    void PaintProgress(const ProgressLayout& bar, int position, int low, int high, std::optional<std::uint32_t> barColor = std::nullopt);

private:
    void PaintFill(const CRect& rect, int radius, const Fill& fill);
    void PaintArrow(const CRect& box, std::uint32_t color);
    void PaintFocusRing(const CRect& rect, int radius);

    Painter& m_painter;
    const WindowSkin& m_skin;
};
