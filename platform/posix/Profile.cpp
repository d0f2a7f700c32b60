#include "platform/Profile.h"

#include "platform/Drives.h"
#include "platform/ProfileText.h"

#include <fstream>
#include <iterator>
#include <optional>

namespace platform {

namespace {

std::optional<std::string> ReadWholeFile(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    if (!file)
        return std::nullopt;
    std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    if (file.bad())
        return std::nullopt;
    return bytes;
}

} // namespace

std::uint32_t GetPrivateProfileStringW(const std::wstring& section, const std::wstring& key,
    const std::wstring& defaultValue, wchar_t* buffer, std::uint32_t size, const std::wstring& fileName)
{
    // Read afresh each time: the file may change between reads and nothing of it is kept.
    auto bytes = ReadWholeFile(ToNativePath(fileName));
    std::wstring result = ReadProfileString(bytes.value_or(std::string()), section, key, defaultValue);
    return CopyToProfileBuffer(result, buffer, size);
}

} // namespace platform
