#include "uilib/WindowSkin.h"

#include "framework/CException.h"
#include "platform/files/FileData.h"

#include <algorithm>
#include <cmath>

std::unique_ptr<WindowSkin> WindowSkin::Load(const std::wstring& folder, const std::wstring& scriptName, const std::wstring& section, double scale)
{
    SkinScript script = SkinScript::Load(folder, scriptName);
    return FromScript(script, section, folder, scale);
}

std::unique_ptr<WindowSkin> WindowSkin::FromScript(const SkinScript& script, const std::wstring& section, const std::wstring& folder, double scale)
{
    std::unique_ptr<WindowSkin> skin(new WindowSkin);
    skin->m_folder = folder;
    skin->m_scriptName = script.FileName();
    skin->m_scriptLayout = script.Section(section);
    skin->m_scale = scale;
    skin->m_layout = skin->m_scriptLayout.Scaled(scale);
    skin->LoadFonts();

    const WindowLayout& layout = skin->m_scriptLayout;
    skin->LoadImage(layout.backgroundImage);
    for (const Decoration& decoration : layout.decorations)
        skin->LoadImage(decoration.image);
    for (const auto& [id, button] : layout.buttons) {
        for (const FaceStyle& face : button.faces)
            skin->LoadImage(face.image);
    }
    return skin;
}

std::unique_ptr<WindowSkin> WindowSkin::AtScale(double scale) const
{
    std::unique_ptr<WindowSkin> skin(new WindowSkin);
    skin->m_folder = m_folder;
    skin->m_scriptName = m_scriptName;
    skin->m_scriptLayout = m_scriptLayout;
    skin->m_scale = scale;
    skin->m_layout = m_scriptLayout.Scaled(scale);
    skin->m_images = m_images;
    skin->LoadFonts();
    return skin;
}

int WindowSkin::Scaled(int units) const
{
    int pixels = static_cast<int>(std::lround(units * m_scale));
    return units > 0 ? std::max(pixels, 1) : pixels;
}

void WindowSkin::LoadFonts()
{
    // Glyphs are rasterised at the scaled size, so text at 2x is sharp, not a stretched 1x.
    for (const auto& [index, spec] : m_layout.fonts) {
        std::wstring path = FileData::Join(m_folder, spec.file);
        try {
            m_fonts[index] = Font::LoadFromFile(path, spec.pixelSize);
        } catch (const CException& error) {
            throw CException(L"font " + std::to_wstring(index) + L": " + error.Reason() + L" (" + path + L")", m_scriptName, spec.line);
        }
    }
}

void WindowSkin::LoadImage(const ImageRef& image)
{
    if (image.IsNone() || m_images.count(image.file))
        return;
    std::wstring path = FileData::Join(m_folder, image.file);
    try {
        m_images.emplace(image.file, std::make_shared<const Image>(Image::LoadPng(path)));
    } catch (const CException& error) {
        throw CException(L"image: " + error.Reason() + L" (" + path + L")", m_scriptName, image.line);
    }
}

std::shared_ptr<const Font> WindowSkin::GetFont(int index) const
{
    auto found = m_fonts.find(index);
    return found == m_fonts.end() ? nullptr : found->second;
}

int WindowSkin::IndexOfFont(const Font* font) const
{
    for (const auto& [index, shared] : m_fonts) {
        if (shared.get() == font)
            return index;
    }
    return -1;
}

const Image* WindowSkin::GetImage(const ImageRef& image) const
{
    auto found = m_images.find(image.file);
    return found == m_images.end() ? nullptr : found->second.get();
}
