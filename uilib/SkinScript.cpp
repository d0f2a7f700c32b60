#include "uilib/SkinScript.h"

#include "framework/CException.h"
#include "framework/Strings.h"
#include "platform/files/FileData.h"
#include "uilib/ScriptParser.h"
#include "uilib/SkinBuilder.h"

#include <algorithm>

SkinScript SkinScript::Parse(const std::string& text, const std::wstring& fileName)
{
    int lineCount = static_cast<int>(std::count(text.begin(), text.end(), '\n'));
    if (!text.empty() && text.back() != '\n')
        ++lineCount;
    ScriptNode root = ScriptParser(text, fileName).Parse();
    return SkinBuilder(fileName, lineCount).Build(root);
}

SkinScript SkinScript::Load(const std::wstring& folder, const std::wstring& fileName)
{
    std::wstring path = FileData::Join(folder, fileName);
    auto bytes = FileData::ReadAll(path);
    if (!bytes)
        throw CException(L"cannot read the skin script", path);
    return Parse(std::string(bytes->begin(), bytes->end()), path);
}

const WindowLayout* SkinScript::Find(const std::wstring& section) const
{
    auto found = m_windows.find(section);
    return found == m_windows.end() ? nullptr : &found->second;
}

const WindowLayout& SkinScript::Section(const std::wstring& section) const
{
    const WindowLayout* window = Find(section);
    if (!window)
        throw CException(L"no window '" + section + L"' in the script", m_fileName, std::max(m_lineCount, 1));
    return *window;
}
