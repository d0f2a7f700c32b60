#include "uilib/FileData.h"

#include "framework/Strings.h"

#include <fstream>
#include <iterator>

namespace FileData {

std::filesystem::path NativePath(const std::wstring& path)
{
    return std::filesystem::u8path(ToUtf8(path));
}

std::wstring Join(const std::wstring& folder, const std::wstring& name)
{
    if (folder.empty())
        return name;
    return FromUtf8((NativePath(folder) / NativePath(name)).u8string());
}

std::optional<std::vector<std::uint8_t>> ReadAll(const std::wstring& path)
{
    std::error_code error;
    if (std::filesystem::is_directory(NativePath(path), error))
        return std::nullopt;
    std::ifstream stream(NativePath(path), std::ios::binary);
    if (!stream)
        return std::nullopt;
    std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(stream)), std::istreambuf_iterator<char>());
    if (stream.bad())
        return std::nullopt;
    return bytes;
}

} // namespace FileData
