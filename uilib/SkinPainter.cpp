#include "uilib/SkinPainter.h"

#include "uilib/Color.h"
#include "uilib/Painter.h"
#include "uilib/WindowSkin.h"

#include <algorithm>

namespace {

CRect Inset(const CRect& rect, int dx, int dy)
{
    return { rect.left + dx, rect.top + dy, rect.right - dx, rect.bottom - dy };
}

} // namespace

SkinPainter::SkinPainter(Painter& painter, const WindowSkin& skin)
    : m_painter(painter)
    , m_skin(skin)
{
}

void SkinPainter::PaintFill(const CRect& rect, int radius, const Fill& fill)
{
    if (fill.IsNone())
        return;
    if (fill.IsGradient())
        m_painter.FillRoundedRectGradient(rect, radius, fill.top, fill.bottom);
    else
        m_painter.FillRoundedRect(rect, radius, fill.top);
}

void SkinPainter::PaintBackground()
{
    const WindowLayout& layout = m_skin.Layout();
    PaintFill(layout.Bounds(), 0, layout.background);
    if (const Image* image = m_skin.GetImage(layout.backgroundImage))
        m_painter.DrawImageScaled(*image, layout.Bounds());

    for (const Decoration& decoration : layout.decorations) {
        switch (decoration.kind) {
        case Decoration::Kind::Box:
            PaintFill(decoration.rect, decoration.radius, decoration.fill);
            if (!Color::IsTransparent(decoration.border))
                m_painter.DrawRoundedRect(decoration.rect, decoration.radius, decoration.border, decoration.borderWidth);
            break;
        case Decoration::Kind::Label:
            if (auto font = m_skin.GetFont(decoration.font))
                m_painter.DrawText(decoration.text, decoration.rect, *font, decoration.color, decoration.TextFormat());
            break;
        case Decoration::Kind::Picture:
            if (const Image* image = m_skin.GetImage(decoration.image))
                m_painter.DrawImageScaled(*image, decoration.rect);
            break;
        }
    }
}

CRect SkinPainter::FocusBounds(const WindowSkin& skin, const CRect& rect)
{
    int margin = skin.Scaled(FocusMargin);
    return Inset(rect, -margin, -margin);
}

void SkinPainter::PaintButton(const ButtonLayout& button, FaceState state, const std::wstring& caption, const FaceText* faceText, bool focused)
{
    const FaceStyle& face = button.Face(state);
    if (const Image* image = m_skin.GetImage(face.image)) {
        m_painter.DrawImageScaled(*image, button.rect);
    } else {
        PaintFill(button.rect, button.radius, face.fill);
        if (!Color::IsTransparent(face.border))
            m_painter.DrawRoundedRect(button.rect, button.radius, face.border, button.borderWidth);
    }

    std::shared_ptr<const Font> font = m_skin.GetFont(button.font);
    std::wstring text = caption;
    std::uint32_t color = face.textColor;
    unsigned format = button.TextFormat();
    CRect textRect = Inset(button.rect, button.padding, 0);
    if (faceText) {
        text = faceText->text;
        if (faceText->font)
            font = faceText->font;
        color = state == FaceState::Disabled ? Color::Mix(face.fill.top, faceText->color, 140) : faceText->color;
        format = faceText->format;
        if (button.useFaceOffsets) {
            // The program gives its offsets in the script's units.
            CPoint offset = faceText->offsets[static_cast<int>(state)];
            textRect = { button.rect.left + m_skin.Scaled(offset.x), button.rect.top + m_skin.Scaled(offset.y), button.rect.right, button.rect.bottom };
        } else if (format & TextFormat::SingleLine) {
            format |= TextFormat::VCenter;
        }
    }
    if (state == FaceState::Pressed && !(faceText && button.useFaceOffsets))
        textRect = textRect.Offset(0, button.pressedShift);
    if (font && !text.empty()) {
        Painter::ScopedClip clip(m_painter, button.rect);
        m_painter.DrawText(text, textRect, *font, color, format);
    }

    if (focused && state != FaceState::Disabled)
        PaintFocusRing(button.rect, button.radius);
}

void SkinPainter::PaintStatic(const StaticLayout& label, const std::wstring& text)
{
    PaintFill(label.rect, label.radius, label.fill);
    if (!Color::IsTransparent(label.border))
        m_painter.DrawRoundedRect(label.rect, label.radius, label.border, m_skin.Scaled(1));
    auto font = m_skin.GetFont(label.font);
    if (font && !text.empty())
        m_painter.DrawText(text, label.TextRect(), *font, label.color, label.TextFormat());
}

void SkinPainter::PaintArrow(const CRect& box, std::uint32_t color)
{
    // A small downward chevron, centred in the box's right-hand square.
    int size = std::max(box.Height() / 5, m_skin.Scaled(3));
    int centreX = box.right - box.Height() / 2;
    int top = box.top + (box.Height() - size) / 2;
    for (int row = 0; row < size; ++row) {
        int half = size - row;
        m_painter.FillRect({ centreX - half, top + row, centreX + half, top + row + 1 }, color);
    }
}

void SkinPainter::PaintDropList(const DropListLayout& list, const std::wstring& text, bool enabled, bool focused)
{
    PaintFill(list.rect, list.radius, enabled ? list.fill : list.disabledFill);
    if (!Color::IsTransparent(list.border))
        m_painter.DrawRoundedRect(list.rect, list.radius, list.border, m_skin.Scaled(1));
    std::uint32_t textColor = enabled ? list.textColor : list.disabledTextColor;
    PaintArrow(list.rect, enabled ? list.arrowColor : list.disabledTextColor);
    if (auto font = m_skin.GetFont(list.font)) {
        CRect textRect { list.rect.left + list.padding, list.rect.top, list.rect.right - list.rect.Height(), list.rect.bottom };
        m_painter.DrawText(text, textRect, *font, textColor, TextFormat::SingleLine | TextFormat::VCenter);
    }
    if (focused && enabled)
        PaintFocusRing(list.rect, list.radius);
}

void SkinPainter::PaintFocusRing(const CRect& rect, int radius)
{
    int margin = m_skin.Scaled(FocusMargin);
    m_painter.DrawFocusRing(FocusBounds(m_skin, rect), radius + margin, m_skin.Layout().focusColor, m_skin.Scaled(2));
}

CRect SkinPainter::DropListPopupRect(const WindowSkin& skin, const DropListLayout& list, int itemCount)
{
    int rows = std::clamp(itemCount, 1, list.visibleItems);
    return { list.rect.left, list.rect.bottom, list.rect.right, list.rect.bottom + rows * list.itemHeight + 2 * skin.Scaled(1) };
}

int SkinPainter::DropListItemAt(const WindowSkin& skin, const DropListLayout& list, int itemCount, int firstVisible, CPoint point)
{
    CRect popup = DropListPopupRect(skin, list, itemCount);
    int border = skin.Scaled(1);
    if (!popup.Contains(point.x, point.y) || point.y < popup.top + border)
        return -1;
    int item = firstVisible + (point.y - popup.top - border) / list.itemHeight;
    return item >= 0 && item < itemCount ? item : -1;
}

void SkinPainter::PaintDropListPopup(const DropListLayout& list, const std::vector<std::wstring>& items, int firstVisible, int hotItem, int selectedItem)
{
    int count = static_cast<int>(items.size());
    CRect popup = DropListPopupRect(m_skin, list, count);
    int border = m_skin.Scaled(1);
    m_painter.FillRect(popup, list.listFill);
    m_painter.DrawRect(popup, list.border, border);
    auto font = m_skin.GetFont(list.font);
    Painter::ScopedClip clip(m_painter, Inset(popup, border, border));
    for (int row = 0; row < list.visibleItems; ++row) {
        int item = firstVisible + row;
        if (item < 0 || item >= count)
            continue;
        CRect itemRect { popup.left + border, popup.top + border + row * list.itemHeight, popup.right - border, popup.top + border + (row + 1) * list.itemHeight };
        std::uint32_t textColor = list.textColor;
        if (item == selectedItem) {
            m_painter.FillRect(itemRect, list.selectedFill);
            textColor = list.selectedTextColor;
        } else if (item == hotItem) {
            m_painter.FillRect(itemRect, list.hoverFill);
        }
        if (font) {
            CRect textRect { itemRect.left + list.padding, itemRect.top, itemRect.right - list.padding, itemRect.bottom };
            m_painter.DrawText(items[item], textRect, *font, textColor, TextFormat::SingleLine | TextFormat::VCenter);
        }
    }
}

void SkinPainter::PaintProgress(const ProgressLayout& bar, int position, int low, int high, std::optional<std::uint32_t> barColor)
{
    PaintFill(bar.rect, bar.radius, bar.track);
    CRect inner = Inset(bar.rect, bar.inset, bar.inset);
    if (!Color::IsTransparent(bar.border)) {
        int border = m_skin.Scaled(1);
        m_painter.DrawRoundedRect(bar.rect, bar.radius, bar.border, border);
        inner = Inset(inner, border, border);
    }
    if (high <= low || inner.IsEmpty())
        return;
    long long done = std::clamp(position, low, high) - static_cast<long long>(low);
    int width = static_cast<int>(done * inner.Width() / (static_cast<long long>(high) - low));
    if (width <= 0)
        return;
    CRect filled { inner.left, inner.top, inner.left + width, inner.bottom };
    int radius = std::max(bar.radius - (bar.rect.Height() - inner.Height()) / 2, 0);
    // Clip rather than shrink, so a short bar keeps the rounded left end of the full one.
    Painter::ScopedClip clip(m_painter, filled);
    CRect shape { inner.left, inner.top, std::max(filled.right, inner.left + 2 * radius), inner.bottom };
    PaintFill(shape, radius, barColor ? Fill::Solid(*barColor) : bar.bar);
}
