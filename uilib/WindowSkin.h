#pragma once

#include "uilib/Font.h"
#include "uilib/Image.h"
#include "uilib/SkinScript.h"
#include "uilib/WindowLayout.h"

#include <map>
#include <memory>
#include <string>

// One window's section of the skin with its resources loaded: the layout, its fonts and its
// images. What a canvas window keeps after loading its script section.
class WindowSkin {
public:
    // Reads `scriptName` in `folder` (a native path), takes `section` and loads the fonts and
    // images it names from the same folder. Every failure throws CException with the script's
    // path and the line that named the missing piece (the last line for a missing section).
    static std::unique_ptr<WindowSkin> Load(const std::wstring& folder, const std::wstring& scriptName, const std::wstring& section);
    // The same from a script already parsed.
    static std::unique_ptr<WindowSkin> FromScript(const SkinScript& script, const std::wstring& section, const std::wstring& folder);

    const WindowLayout& Layout() const { return m_layout; }
    // The font declared under `index`, or null.
    std::shared_ptr<const Font> GetFont(int index) const;
    // An image the script names (by its file name), or null when the script names none.
    const Image* GetImage(const ImageRef& image) const;

private:
    WindowSkin() = default;
    void LoadImage(const ImageRef& image, const std::wstring& folder, const std::wstring& scriptName);

    WindowLayout m_layout;
    std::map<int, std::shared_ptr<const Font>> m_fonts;
    std::map<std::wstring, Image> m_images;
};
