#pragma once

#include "uilib/Font.h"
#include "uilib/Image.h"
#include "uilib/SkinScript.h"
#include "uilib/WindowLayout.h"

#include <map>
#include <memory>
#include <string>

// One window's section of the skin with its resources loaded, at the scale the window is drawn
// at: the layout in window pixels, its fonts at their scaled sizes and its images. What a
// canvas window keeps after loading its script section.
class WindowSkin {
public:
    // Reads `scriptName` in `folder` (a native path), takes `section` and loads the fonts and
    // images it names from the same folder. Every failure throws CException with the script's
    // path and the line that named the missing piece (the last line for a missing section).
    static std::unique_ptr<WindowSkin> Load(const std::wstring& folder, const std::wstring& scriptName, const std::wstring& section, double scale = 1.0);
    // The same from a script already parsed.
    static std::unique_ptr<WindowSkin> FromScript(const SkinScript& script, const std::wstring& section, const std::wstring& folder, double scale = 1.0);
    // The same section at another scale, without reading the script again; the images are shared.
    // Throws as Load does when a font file can no longer be read.
    std::unique_ptr<WindowSkin> AtScale(double scale) const;

    // In window pixels, at Scale().
    const WindowLayout& Layout() const { return m_layout; }
    // As the script has it (1x).
    const WindowLayout& ScriptLayout() const { return m_scriptLayout; }
    double Scale() const { return m_scale; }
    // A length in the script's units in window pixels; a positive one stays at least 1 pixel.
    int Scaled(int units) const;

    // The font declared under `index`, or null.
    std::shared_ptr<const Font> GetFont(int index) const;
    // The index of a font this skin handed out, or -1.
    int IndexOfFont(const Font* font) const;
    // An image the script names (by its file name), or null when the script names none.
    const Image* GetImage(const ImageRef& image) const;

private:
    WindowSkin() = default;
    void LoadFonts();
    void LoadImage(const ImageRef& image);

    std::wstring m_folder;
    std::wstring m_scriptName;
    WindowLayout m_scriptLayout;
    WindowLayout m_layout;
    double m_scale = 1.0;
    std::map<int, std::shared_ptr<const Font>> m_fonts;
    std::map<std::wstring, std::shared_ptr<const Image>> m_images;
};
