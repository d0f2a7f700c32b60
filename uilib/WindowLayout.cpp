#include "uilib/WindowLayout.h"

#include "uilib/TextLayout.h"

#include <algorithm>
#include <cmath>

namespace {

unsigned HorizontalFlags(HAlign align)
{
    switch (align) {
    case HAlign::Center:
        return TextFormat::Center;
    case HAlign::Right:
        return TextFormat::Right;
    case HAlign::Left:
        break;
    }
    return TextFormat::Left;
}

unsigned VerticalFlags(VAlign align)
{
    switch (align) {
    case VAlign::Center:
        return TextFormat::VCenter;
    case VAlign::Bottom:
        return TextFormat::Bottom;
    case VAlign::Top:
        break;
    }
    return 0;
}

template<typename Map>
auto Find(const Map& map, int id) -> const typename Map::mapped_type*
{
    auto found = map.find(id);
    return found == map.end() ? nullptr : &found->second;
}

class Scaler {
public:
    explicit Scaler(double scale)
        : m_scale(scale)
    {
    }

    int operator()(int units) const { return static_cast<int>(std::lround(units * m_scale)); }
    CRect operator()(const CRect& rect) const { return { (*this)(rect.left), (*this)(rect.top), (*this)(rect.right), (*this)(rect.bottom) }; }
    // Borders: a line the script draws stays visible however small the scale.
    int Line(int units) const { return units > 0 ? std::max((*this)(units), 1) : 0; }

private:
    double m_scale;
};

} // namespace

WindowLayout WindowLayout::Scaled(double scale) const
{
    WindowLayout scaled = *this;
    if (scale == 1.0)
        return scaled;
    Scaler px(scale);
    scaled.width = px(width);
    scaled.height = px(height);
    scaled.headerHeight = px(headerHeight);
    for (auto& [index, font] : scaled.fonts)
        font.pixelSize = std::max(font.pixelSize * scale, 4.0);
    for (Decoration& decoration : scaled.decorations) {
        decoration.rect = px(decoration.rect);
        decoration.borderWidth = px.Line(decoration.borderWidth);
        decoration.radius = px(decoration.radius);
    }
    for (auto& [id, button] : scaled.buttons) {
        button.rect = px(button.rect);
        button.radius = px(button.radius);
        button.borderWidth = px.Line(button.borderWidth);
        button.padding = px(button.padding);
        button.pressedShift = px(button.pressedShift);
    }
    for (auto& [id, label] : scaled.statics) {
        label.rect = px(label.rect);
        label.padding = px(label.padding);
        label.radius = px(label.radius);
    }
    for (auto& [id, list] : scaled.dropLists) {
        list.rect = px(list.rect);
        list.radius = px(list.radius);
        list.padding = px(list.padding);
        list.itemHeight = px(list.itemHeight);
    }
    for (auto& [id, bar] : scaled.progressBars) {
        bar.rect = px(bar.rect);
        bar.radius = px(bar.radius);
        bar.inset = px(bar.inset);
    }
    return scaled;
}

unsigned ButtonLayout::TextFormat() const
{
    return ::TextFormat::SingleLine | ::TextFormat::VCenter | HorizontalFlags(align);
}

unsigned StaticLayout::TextFormat() const
{
    unsigned flags = HorizontalFlags(align) | VerticalFlags(valign);
    return flags | (wrap ? ::TextFormat::WordBreak : ::TextFormat::SingleLine);
}

unsigned Decoration::TextFormat() const
{
    return ::TextFormat::SingleLine | HorizontalFlags(align) | VerticalFlags(valign);
}

const ButtonLayout* WindowLayout::FindButton(int id) const { return Find(buttons, id); }
const StaticLayout* WindowLayout::FindStatic(int id) const { return Find(statics, id); }
const DropListLayout* WindowLayout::FindDropList(int id) const { return Find(dropLists, id); }
const ProgressLayout* WindowLayout::FindProgress(int id) const { return Find(progressBars, id); }

bool WindowLayout::HasControl(int id) const
{
    return FindButton(id) || FindStatic(id) || FindDropList(id) || FindProgress(id);
}
