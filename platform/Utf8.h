#pragma once

#include <string>

// UTF-8 <-> wide conversion. Invalid UTF-8 bytes become U+FFFD.
std::wstring FromUtf8(const std::string& text);
std::string ToUtf8(const std::wstring& text);
bool IsValidUtf8(const std::string& text);
