#include "uilib/SkinBuilder.h"
#include "uilib/SkinControlReader.h"
#include "uilib/SkinValueReader.h"

#include "framework/CException.h"

#include <algorithm>

namespace {

std::wstring Quote(const std::wstring& text) { return SkinValueReader::Quote(text); }

} // namespace

SkinBuilder::SkinBuilder(std::wstring fileName, int lineCount)
    : m_fileName(std::move(fileName))
    , m_lineCount(lineCount)
{
}

void SkinBuilder::Fail(const std::wstring& reason, int line) const
{
    throw CException(reason, m_fileName, line);
}

SkinScript SkinBuilder::Build(const ScriptNode& root)
{
    SkinScript script;
    script.m_fileName = m_fileName;
    script.m_lineCount = m_lineCount;

    for (const ScriptProperty& property : root.properties) {
        if (property.key != L"font")
            Fail(L"unknown key " + Quote(property.key) + L" outside a window (only font, style and window belong here)", property.line);
        FontSpec font = ReadFont(property);
        if (m_sharedFonts.count(font.index))
            Fail(L"font " + std::to_wstring(font.index) + L" is already declared at line " + std::to_wstring(m_sharedFonts[font.index].line), property.line);
        m_sharedFonts[font.index] = font;
    }
    for (const ScriptNode& node : root.children) {
        if (node.kind != L"style")
            continue;
        if (node.argument.empty() || !node.style.empty() || !node.children.empty())
            Fail(L"a style is written: style NAME { key = value ... }", node.line);
        if (m_styles.count(node.argument))
            Fail(L"style " + Quote(node.argument) + L" is already declared at line " + std::to_wstring(m_styles[node.argument]->line), node.line);
        m_styles[node.argument] = &node;
    }
    for (const ScriptNode& node : root.children) {
        if (node.kind == L"style")
            continue;
        if (node.kind != L"window")
            Fail(L"unknown block " + Quote(node.kind) + L" outside a window (only style and window belong here)", node.line);
        WindowLayout window = BuildWindow(node);
        auto existing = script.m_windows.find(window.name);
        if (existing != script.m_windows.end())
            Fail(L"window " + Quote(window.name) + L" is already described at line " + std::to_wstring(existing->second.line), node.line);
        script.m_windows.emplace(window.name, std::move(window));
    }
    return script;
}

FontSpec SkinBuilder::ReadFont(const ScriptProperty& property) const
{
    SkinValueReader values(property, m_fileName);
    const std::wstring& argument = property.argument;
    bool digits = !argument.empty() && argument.size() <= 3 && std::all_of(argument.begin(), argument.end(), [](wchar_t c) { return c >= L'0' && c <= L'9'; });
    if (!digits || std::stoi(argument) > SkinControlReader::LargestFontIndex)
        values.Fail(L"a font is declared as: font INDEX = \"file.ttf\", SIZE (INDEX 0 to 99)");
    values.ExpectCount(2, L"a file name and a pixel size");
    if (values.At(0).type != ScriptValue::Type::String && values.At(0).type != ScriptValue::Type::Word)
        values.Fail(L"the first value of a font is its file name");
    FontSpec font;
    font.index = std::stoi(argument);
    font.file = values.CheckedFileName(values.At(0).text);
    font.pixelSize = values.Number(1, 4, 256);
    font.line = property.line;
    return font;
}

WindowLayout SkinBuilder::BuildWindow(const ScriptNode& node)
{
    if (node.argument.empty())
        Fail(L"a window needs a section name: window MainFrm { ... }", node.line);
    if (!node.style.empty())
        Fail(L"a window takes no style", node.line);

    WindowLayout window;
    window.name = node.argument;
    window.line = node.line;
    window.fonts = m_sharedFonts;
    SkinControlReader controls(m_fileName, m_styles);
    bool sized = false;
    std::map<std::wstring, int> seen;
    std::map<int, int> ownFonts;

    for (const ScriptProperty& property : node.properties) {
        SkinValueReader values(property, m_fileName);
        const std::wstring& key = property.key;
        if (key == L"font") {
            FontSpec font = ReadFont(property);
            auto [it, inserted] = ownFonts.emplace(font.index, property.line);
            if (!inserted)
                Fail(L"font " + std::to_wstring(font.index) + L" is already declared at line " + std::to_wstring(it->second), property.line);
            window.fonts[font.index] = font; // a window's own font replaces a shared one
            continue;
        }
        if (!property.argument.empty())
            values.Fail(Quote(key) + L" takes no argument before '='");
        auto [it, inserted] = seen.emplace(key, property.line);
        if (!inserted)
            Fail(Quote(key) + L" is already set at line " + std::to_wstring(it->second), property.line);
        if (key == L"size") {
            values.ExpectCount(2, L"two numbers: width, height");
            window.width = values.Number(0, 16, 4096);
            window.height = values.Number(1, 16, 4096);
            sized = true;
        } else if (key == L"background") {
            window.background = values.Fill();
        } else if (key == L"background-image") {
            window.backgroundImage = values.Image();
        } else if (key == L"focus-color") {
            window.focusColor = values.Colour();
        } else if (key == L"header") {
            window.headerHeight = values.Number(0, 4096);
        } else {
            Fail(L"unknown key " + Quote(key) + L" in window " + Quote(window.name), property.line);
        }
    }
    if (!sized)
        Fail(L"window " + Quote(window.name) + L" has no size", node.line);

    std::map<int, int> idLines;
    auto claimId = [&](int id, int line) {
        auto [it, inserted] = idLines.emplace(id, line);
        if (!inserted)
            Fail(L"control ID " + std::to_wstring(id) + L" is already used at line " + std::to_wstring(it->second), line);
    };

    for (const ScriptNode& child : node.children) {
        const std::wstring& kind = child.kind;
        if (kind == L"button") {
            ButtonLayout button = controls.ReadButton(child);
            claimId(button.id, child.line);
            CheckPlacement(window, button.rect, child.line, L"button " + std::to_wstring(button.id));
            window.buttons[button.id] = std::move(button);
        } else if (kind == L"static") {
            StaticLayout label = controls.ReadStatic(child);
            claimId(label.id, child.line);
            CheckPlacement(window, label.rect, child.line, L"static " + std::to_wstring(label.id));
            window.statics[label.id] = std::move(label);
        } else if (kind == L"droplist") {
            DropListLayout list = controls.ReadDropList(child);
            claimId(list.id, child.line);
            CheckPlacement(window, list.rect, child.line, L"droplist " + std::to_wstring(list.id));
            CRect open { list.rect.left, list.rect.bottom, list.rect.right, list.rect.bottom + list.itemHeight * list.visibleItems + 2 };
            CheckPlacement(window, open, child.line, L"the open list of droplist " + std::to_wstring(list.id));
            window.dropLists[list.id] = std::move(list);
        } else if (kind == L"progress") {
            ProgressLayout bar = controls.ReadProgress(child);
            claimId(bar.id, child.line);
            CheckPlacement(window, bar.rect, child.line, L"progress " + std::to_wstring(bar.id));
            window.progressBars[bar.id] = std::move(bar);
        } else if (kind == L"box" || kind == L"label" || kind == L"picture") {
            Decoration decoration = controls.ReadDecoration(child);
            CheckPlacement(window, decoration.rect, child.line, kind);
            window.decorations.push_back(std::move(decoration));
        } else {
            Fail(L"unknown block " + Quote(kind) + L" in window " + Quote(window.name)
                    + L" (button, static, droplist, progress, box, label or picture)",
                child.line);
        }
    }

    // Controls without a font key take the window's first font.
    int firstFont = window.fonts.empty() ? SkinControlReader::UnsetFont : window.fonts.begin()->first;
    auto resolve = [&](int& font, int line) {
        if (font == SkinControlReader::UnsetFont) {
            if (firstFont == SkinControlReader::UnsetFont)
                Fail(L"window " + Quote(window.name) + L" declares no font for its texts", line);
            font = firstFont;
        }
    };
    for (auto& [id, button] : window.buttons)
        resolve(button.font, button.line);
    for (auto& [id, label] : window.statics)
        resolve(label.font, label.line);
    for (auto& [id, list] : window.dropLists)
        resolve(list.font, list.line);
    for (Decoration& decoration : window.decorations) {
        if (decoration.kind == Decoration::Kind::Label)
            resolve(decoration.font, decoration.line);
    }
    for (const SkinControlReader::FontUse& use : controls.FontUses()) {
        if (!window.fonts.count(use.index))
            Fail(L"font " + std::to_wstring(use.index) + L" is not declared for window " + Quote(window.name), use.line);
    }
    return window;
}

void SkinBuilder::CheckPlacement(const WindowLayout& window, const CRect& rect, int line, const std::wstring& what) const
{
    if (rect.left < 0 || rect.top < 0 || rect.right > window.width || rect.bottom > window.height) {
        Fail(what + L" does not fit inside the window (" + std::to_wstring(window.width) + L"x" + std::to_wstring(window.height) + L")",
            line);
    }
}
