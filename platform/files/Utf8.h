#pragma once

#include <string>

// UTF-8 <-> wide conversion. Invalid UTF-8 bytes become U+FFFD.
std::wstring FromUtf8(const std::string& text);
std::string ToUtf8(const std::wstring& text);
bool IsValidUtf8(const std::string& text);
// Appends one code point: as it is where wchar_t is 32 bits, as a surrogate pair where it is 16.
void AppendCodePoint(std::wstring& out, char32_t codePoint);
