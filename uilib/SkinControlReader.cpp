#include "uilib/SkinControlReader.h"
#include "uilib/SkinValueReader.h"

#include "framework/CException.h"

#include <algorithm>

namespace {

constexpr int LargestControlId = 65535;

std::wstring Quote(const std::wstring& text) { return SkinValueReader::Quote(text); }

const wchar_t* const StateNames[FaceStateCount] = { L"normal", L"hover", L"pressed", L"disabled" };

int ControlId(const ScriptNode& node, const std::wstring& fileName)
{
    const std::wstring& text = node.argument;
    bool digits = !text.empty() && text.size() <= 6 && std::all_of(text.begin(), text.end(), [](wchar_t c) { return c >= L'0' && c <= L'9'; });
    int id = digits ? std::stoi(text) : 0;
    if (id < 1 || id > LargestControlId)
        throw CException(L"bad control ID " + Quote(text) + L" for " + node.kind + L" (1 to 65535)", fileName, node.line);
    return id;
}

// Splits "hover-fill" into state Hover and key "fill"; a key without a state prefix gives -1.
int SplitState(const std::wstring& key, std::wstring& rest)
{
    for (int state = 0; state < FaceStateCount; ++state) {
        std::wstring prefix = std::wstring(StateNames[state]) + L"-";
        if (key.compare(0, prefix.size(), prefix) == 0) {
            rest = key.substr(prefix.size());
            return state;
        }
    }
    rest = key;
    return -1;
}

} // namespace

SkinControlReader::SkinControlReader(const std::wstring& fileName, const std::map<std::wstring, const ScriptNode*>& styles)
    : m_fileName(fileName)
    , m_styles(styles)
{
}

void SkinControlReader::Fail(const std::wstring& reason, int line) const
{
    throw CException(reason, m_fileName, line);
}

std::vector<const ScriptProperty*> SkinControlReader::EffectiveProperties(const ScriptNode& node) const
{
    std::vector<const ScriptProperty*> result;
    auto addAll = [&](const ScriptNode& source) {
        std::map<std::wstring, int> seen;
        for (const ScriptProperty& property : source.properties) {
            std::wstring key = property.argument.empty() ? property.key : property.key + L" " + property.argument;
            auto [it, inserted] = seen.emplace(key, property.line);
            if (!inserted)
                Fail(Quote(key) + L" is already set at line " + std::to_wstring(it->second), property.line);
            result.push_back(&property);
        }
    };
    if (!node.style.empty()) {
        auto style = m_styles.find(node.style);
        if (style == m_styles.end())
            Fail(L"unknown style " + Quote(node.style), node.line);
        addAll(*style->second);
    }
    addAll(node);
    for (const ScriptProperty* property : result) {
        if (!property->argument.empty())
            Fail(Quote(property->key) + L" takes no argument before '='", property->line);
    }
    if (!node.children.empty())
        Fail(L"a " + node.kind + L" block holds no blocks", node.children.front().line);
    return result;
}

ButtonLayout SkinControlReader::ReadButton(const ScriptNode& node)
{
    ButtonLayout button;
    button.id = ControlId(node, m_fileName);
    button.line = node.line;
    button.font = UnsetFont;
    bool placed = false;

    // Keys for all states go before keys for one state, so "hover-fill" refines "fill".
    std::vector<const ScriptProperty*> properties = EffectiveProperties(node);
    std::vector<const ScriptProperty*> ordered;
    size_t styleCount = node.style.empty() ? 0 : m_styles.at(node.style)->properties.size();
    for (auto part : { std::make_pair(size_t(0), styleCount), std::make_pair(styleCount, properties.size()) }) {
        std::wstring rest;
        for (size_t i = part.first; i < part.second; ++i) {
            if (SplitState(properties[i]->key, rest) < 0)
                ordered.push_back(properties[i]);
        }
        for (size_t i = part.first; i < part.second; ++i) {
            if (SplitState(properties[i]->key, rest) >= 0)
                ordered.push_back(properties[i]);
        }
    }

    for (const ScriptProperty* property : ordered) {
        SkinValueReader values(*property, m_fileName);
        std::wstring key;
        int state = SplitState(property->key, key);
        int first = state < 0 ? 0 : state;
        int last = state < 0 ? FaceStateCount - 1 : state;
        auto forStates = [&](auto apply) {
            for (int s = first; s <= last; ++s)
                apply(button.faces[s]);
        };
        if (key == L"fill") {
            ::Fill fill = values.Fill();
            forStates([&](FaceStyle& face) { face.fill = fill; });
            continue;
        }
        if (key == L"border") {
            std::uint32_t colour = values.Colour();
            forStates([&](FaceStyle& face) { face.border = colour; });
            continue;
        }
        if (key == L"text-color") {
            std::uint32_t colour = values.Colour();
            forStates([&](FaceStyle& face) { face.textColor = colour; });
            continue;
        }
        if (key == L"image") {
            ImageRef image = values.Image();
            forStates([&](FaceStyle& face) { face.image = image; });
            continue;
        }
        if (state >= 0)
            Fail(L"unknown key " + Quote(property->key) + L" in button (a state takes fill, border, text-color or image)", property->line);
        if (key == L"rect") {
            button.rect = values.Rect();
            placed = true;
        } else if (key == L"radius") {
            button.radius = values.Number(0, 256);
        } else if (key == L"border-width") {
            button.borderWidth = values.Number(0, 16);
        } else if (key == L"font") {
            button.font = values.Number(0, LargestFontIndex);
            m_fontUses.push_back({ button.font, property->line });
        } else if (key == L"align") {
            button.align = values.Horizontal();
        } else if (key == L"padding") {
            button.padding = values.Number(0, 256);
        } else if (key == L"pressed-shift") {
            button.pressedShift = values.Number(0, 16);
        } else if (key == L"face-offsets") {
            button.useFaceOffsets = values.Flag();
        } else if (key == L"caption") {
            button.caption = values.Text();
        } else if (key == L"visible") {
            button.visible = values.Flag();
        } else if (key == L"enabled") {
            button.enabled = values.Flag();
        } else {
            Fail(L"unknown key " + Quote(key) + L" in button " + std::to_wstring(button.id), property->line);
        }
    }
    if (!placed)
        Fail(L"button " + std::to_wstring(button.id) + L" has no rect", node.line);
    return button;
}

StaticLayout SkinControlReader::ReadStatic(const ScriptNode& node)
{
    StaticLayout label;
    label.id = ControlId(node, m_fileName);
    label.textId = label.id;
    label.line = node.line;
    label.font = UnsetFont;
    bool placed = false;
    for (const ScriptProperty* property : EffectiveProperties(node)) {
        SkinValueReader values(*property, m_fileName);
        const std::wstring& key = property->key;
        if (key == L"rect") {
            label.rect = values.Rect();
            placed = true;
        } else if (key == L"font") {
            label.font = values.Number(0, LargestFontIndex);
            m_fontUses.push_back({ label.font, property->line });
        } else if (key == L"color") {
            label.color = values.Colour();
        } else if (key == L"align") {
            label.align = values.Horizontal();
        } else if (key == L"valign") {
            label.valign = values.Vertical();
        } else if (key == L"wrap") {
            label.wrap = values.Flag();
        } else if (key == L"padding") {
            label.padding = values.Number(0, 256);
        } else if (key == L"fill") {
            label.fill = values.Fill();
        } else if (key == L"border") {
            label.border = values.Colour();
        } else if (key == L"radius") {
            label.radius = values.Number(0, 256);
        } else if (key == L"visible") {
            label.visible = values.Flag();
        } else if (key == L"text") {
            label.text = values.Text();
            label.hasFixedText = true;
        } else if (key == L"text-id") {
            label.textId = values.Number(1, 65535);
        } else {
            Fail(L"unknown key " + Quote(key) + L" in static " + std::to_wstring(label.id), property->line);
        }
    }
    if (!placed)
        Fail(L"static " + std::to_wstring(label.id) + L" has no rect", node.line);
    return label;
}

DropListLayout SkinControlReader::ReadDropList(const ScriptNode& node)
{
    DropListLayout list;
    list.id = ControlId(node, m_fileName);
    list.line = node.line;
    list.font = UnsetFont;
    bool placed = false;
    for (const ScriptProperty* property : EffectiveProperties(node)) {
        SkinValueReader values(*property, m_fileName);
        const std::wstring& key = property->key;
        if (key == L"rect") {
            list.rect = values.Rect();
            placed = true;
        } else if (key == L"font") {
            list.font = values.Number(0, LargestFontIndex);
            m_fontUses.push_back({ list.font, property->line });
        } else if (key == L"radius") {
            list.radius = values.Number(0, 256);
        } else if (key == L"padding") {
            list.padding = values.Number(0, 256);
        } else if (key == L"item-height") {
            list.itemHeight = values.Number(8, 256);
        } else if (key == L"visible-items") {
            list.visibleItems = values.Number(1, 32);
        } else if (key == L"fill") {
            list.fill = values.Fill();
        } else if (key == L"border") {
            list.border = values.Colour();
        } else if (key == L"text-color") {
            list.textColor = values.Colour();
        } else if (key == L"arrow-color") {
            list.arrowColor = values.Colour();
        } else if (key == L"disabled-fill") {
            list.disabledFill = values.Fill();
        } else if (key == L"disabled-text-color") {
            list.disabledTextColor = values.Colour();
        } else if (key == L"list-fill") {
            list.listFill = values.Colour();
        } else if (key == L"selected-fill") {
            list.selectedFill = values.Colour();
        } else if (key == L"selected-text-color") {
            list.selectedTextColor = values.Colour();
        } else if (key == L"hover-fill") {
            list.hoverFill = values.Colour();
        } else if (key == L"visible") {
            list.visible = values.Flag();
        } else if (key == L"enabled") {
            list.enabled = values.Flag();
        } else {
            Fail(L"unknown key " + Quote(key) + L" in droplist " + std::to_wstring(list.id), property->line);
        }
    }
    if (!placed)
        Fail(L"droplist " + std::to_wstring(list.id) + L" has no rect", node.line);
    return list;
}

ProgressLayout SkinControlReader::ReadProgress(const ScriptNode& node)
{
    ProgressLayout bar;
    bar.id = ControlId(node, m_fileName);
    bar.line = node.line;
    bool placed = false;
    for (const ScriptProperty* property : EffectiveProperties(node)) {
        SkinValueReader values(*property, m_fileName);
        const std::wstring& key = property->key;
        if (key == L"rect") {
            bar.rect = values.Rect();
            placed = true;
        } else if (key == L"radius") {
            bar.radius = values.Number(0, 256);
        } else if (key == L"track") {
            bar.track = values.Fill();
        } else if (key == L"bar") {
            bar.bar = values.Fill();
        } else if (key == L"border") {
            bar.border = values.Colour();
        } else if (key == L"inset") {
            bar.inset = values.Number(0, 64);
        } else if (key == L"visible") {
            bar.visible = values.Flag();
        } else {
            Fail(L"unknown key " + Quote(key) + L" in progress " + std::to_wstring(bar.id), property->line);
        }
    }
    if (!placed)
        Fail(L"progress " + std::to_wstring(bar.id) + L" has no rect", node.line);
    return bar;
}

Decoration SkinControlReader::ReadDecoration(const ScriptNode& node)
{
    Decoration decoration;
    decoration.line = node.line;
    decoration.font = UnsetFont;
    if (node.kind == L"label")
        decoration.kind = Decoration::Kind::Label;
    else if (node.kind == L"picture")
        decoration.kind = Decoration::Kind::Picture;
    if (!node.argument.empty())
        Fail(L"a " + node.kind + L" takes no name or ID", node.line);

    bool placed = false;
    bool hasText = false;
    for (const ScriptProperty* property : EffectiveProperties(node)) {
        SkinValueReader values(*property, m_fileName);
        const std::wstring& key = property->key;
        bool anyKind = key == L"rect";
        bool boxKey = key == L"fill" || key == L"border" || key == L"border-width" || key == L"radius";
        bool labelKey = key == L"text" || key == L"font" || key == L"color" || key == L"align" || key == L"valign";
        bool pictureKey = key == L"image";
        bool allowed = anyKind || (boxKey && decoration.kind == Decoration::Kind::Box)
            || (labelKey && decoration.kind == Decoration::Kind::Label) || (pictureKey && decoration.kind == Decoration::Kind::Picture);
        if (!allowed)
            Fail(L"unknown key " + Quote(key) + L" in " + node.kind, property->line);

        if (key == L"rect") {
            decoration.rect = values.Rect();
            placed = true;
        } else if (key == L"fill") {
            decoration.fill = values.Fill();
        } else if (key == L"border") {
            decoration.border = values.Colour();
        } else if (key == L"border-width") {
            decoration.borderWidth = values.Number(0, 16);
        } else if (key == L"radius") {
            decoration.radius = values.Number(0, 256);
        } else if (key == L"text") {
            decoration.text = values.Text();
            hasText = true;
        } else if (key == L"font") {
            decoration.font = values.Number(0, LargestFontIndex);
            m_fontUses.push_back({ decoration.font, property->line });
        } else if (key == L"color") {
            decoration.color = values.Colour();
        } else if (key == L"align") {
            decoration.align = values.Horizontal();
        } else if (key == L"valign") {
            decoration.valign = values.Vertical();
        } else if (key == L"image") {
            decoration.image = values.Image();
        }
    }
    if (!placed)
        Fail(L"a " + node.kind + L" needs a rect", node.line);
    if (decoration.kind == Decoration::Kind::Label && !hasText)
        Fail(L"a label needs a text", node.line);
    if (decoration.kind == Decoration::Kind::Picture && decoration.image.IsNone())
        Fail(L"a picture needs an image", node.line);
    return decoration;
}
