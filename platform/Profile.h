#pragma once

#include <cstdint>
#include <string>

namespace platform {

// GetPrivateProfileStringW for one key: copies the value (or defaultValue) into buffer, cut to
// size - 1 characters and terminated; returns the number of characters copied. fileName is a
// drive path or a native path; the file is read afresh at every call.
std::uint32_t GetPrivateProfileStringW(const std::wstring& section, const std::wstring& key,
    const std::wstring& defaultValue, wchar_t* buffer, std::uint32_t size, const std::wstring& fileName);

} // namespace platform
