#include "uilib/WindowLayout.h"

#include "uilib/TextLayout.h"

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

} // namespace

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
