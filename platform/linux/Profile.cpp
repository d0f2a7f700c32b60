#include "platform/Profile.h"

#include "platform/Drives.h"
#include "platform/files/FileData.h"
#include "platform/files/Utf8.h"
#include "platform/profile/ProfileText.h"

namespace platform {

std::uint32_t GetPrivateProfileStringW(const std::wstring& section, const std::wstring& key,
    const std::wstring& defaultValue, wchar_t* buffer, std::uint32_t size, const std::wstring& fileName)
{
    // Read afresh each time: the file may change between reads and nothing of it is kept.
    auto bytes = FileData::ReadAll(FromUtf8(ToNativePath(fileName)));
    std::string_view text = bytes ? std::string_view(reinterpret_cast<const char*>(bytes->data()), bytes->size()) : std::string_view();
    std::wstring result = ReadProfileString(text, section, key, defaultValue);
    return CopyToProfileBuffer(result, buffer, size);
}

} // namespace platform
