#include "platform/Profile.h"

#include <windows.h>

namespace platform {

std::uint32_t GetPrivateProfileStringW(const std::wstring& section, const std::wstring& key,
    const std::wstring& defaultValue, wchar_t* buffer, std::uint32_t size, const std::wstring& fileName)
{
    // Windows writes a terminator even into a zero-sized buffer on some versions; keep the
    // contract that a zero size touches nothing.
    if (!buffer || size == 0)
        return 0;
    return ::GetPrivateProfileStringW(section.c_str(), key.c_str(), defaultValue.c_str(), buffer, size, fileName.c_str());
}

} // namespace platform
