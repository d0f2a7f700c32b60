#include "uilib/WindowSkin.h"

#include "framework/CException.h"
#include "platform/FileData.h"

std::unique_ptr<WindowSkin> WindowSkin::Load(const std::wstring& folder, const std::wstring& scriptName, const std::wstring& section)
{
    SkinScript script = SkinScript::Load(folder, scriptName);
    return FromScript(script, section, folder);
}

std::unique_ptr<WindowSkin> WindowSkin::FromScript(const SkinScript& script, const std::wstring& section, const std::wstring& folder)
{
    std::unique_ptr<WindowSkin> skin(new WindowSkin);
    skin->m_layout = script.Section(section);
    const std::wstring& scriptName = script.FileName();

    for (const auto& [index, spec] : skin->m_layout.fonts) {
        std::wstring path = FileData::Join(folder, spec.file);
        try {
            skin->m_fonts[index] = Font::LoadFromFile(path, spec.pixelSize);
        } catch (const CException& error) {
            throw CException(L"font " + std::to_wstring(index) + L": " + error.Reason() + L" (" + path + L")", scriptName, spec.line);
        }
    }

    const WindowLayout& layout = skin->m_layout;
    skin->LoadImage(layout.backgroundImage, folder, scriptName);
    for (const Decoration& decoration : layout.decorations)
        skin->LoadImage(decoration.image, folder, scriptName);
    for (const auto& [id, button] : layout.buttons) {
        for (const FaceStyle& face : button.faces)
            skin->LoadImage(face.image, folder, scriptName);
    }
    return skin;
}

void WindowSkin::LoadImage(const ImageRef& image, const std::wstring& folder, const std::wstring& scriptName)
{
    if (image.IsNone() || m_images.count(image.file))
        return;
    std::wstring path = FileData::Join(folder, image.file);
    try {
        m_images.emplace(image.file, Image::LoadPng(path));
    } catch (const CException& error) {
        throw CException(L"image: " + error.Reason() + L" (" + path + L")", scriptName, image.line);
    }
}

std::shared_ptr<const Font> WindowSkin::GetFont(int index) const
{
    auto found = m_fonts.find(index);
    return found == m_fonts.end() ? nullptr : found->second;
}

const Image* WindowSkin::GetImage(const ImageRef& image) const
{
    auto found = m_images.find(image.file);
    return found == m_images.end() ? nullptr : &found->second;
}
