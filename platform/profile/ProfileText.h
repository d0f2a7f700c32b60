#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// The rules of a Windows profile (.ini) file, free of any file access, so that the POSIX reader,
// the tests and the fuzzer share them and a Win32 build can be compared against them.
namespace platform {

// Bytes of a profile file to text: UTF-16LE or UTF-16BE with a byte-order mark, UTF-8 with or
// without one; a file without a mark that is not valid UTF-8 is read as Windows-1252.
std::wstring DecodeProfileBytes(std::string_view bytes);

// The value of key in section, or nothing when the section or the key is missing (or the key name
// is empty). Names match without regard to letter case and to blanks around them. Only the first
// section of a name is searched, and in it the first line of the key.
std::optional<std::wstring> FindProfileValue(std::wstring_view text, std::wstring_view section, std::wstring_view key);

// What GetPrivateProfileStringW reports for a file's bytes: the value, or defaultValue (without
// its trailing blanks) when there is none.
std::wstring ReadProfileString(std::string_view fileBytes, std::wstring_view section, std::wstring_view key,
    std::wstring_view defaultValue);

// Copies text into buffer, cut to size - 1 characters and terminated; returns the characters copied.
std::uint32_t CopyToProfileBuffer(std::wstring_view text, wchar_t* buffer, std::uint32_t size);

} // namespace platform
