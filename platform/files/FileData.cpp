#include "platform/files/FileData.h"

#include "platform/files/Utf8.h"

#include <fstream>

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
    // Block reads into a buffer sized up front: the fonts are large, and reading them a
    // character at a time was a third of the program's start-up.
    std::vector<std::uint8_t> bytes;
    auto size = std::filesystem::file_size(NativePath(path), error);
    if (!error)
        bytes.reserve(static_cast<std::size_t>(size));
    std::vector<char> block(64 * 1024);
    while (stream.read(block.data(), static_cast<std::streamsize>(block.size())) || stream.gcount() > 0)
        bytes.insert(bytes.end(), block.data(), block.data() + stream.gcount());
    if (stream.bad())
        return std::nullopt;
    return bytes;
}

} // namespace FileData
