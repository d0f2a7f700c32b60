#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

// Reading and naming files from program-facing wide paths (UTF-8 bytes on POSIX, UTF-16 on
// Windows: std::filesystem does the right thing with a UTF-8 path on both).
namespace FileData {

std::filesystem::path NativePath(const std::wstring& path);
std::wstring Join(const std::wstring& folder, const std::wstring& name);
// The whole file, or nothing when it cannot be opened or read.
std::optional<std::vector<std::uint8_t>> ReadAll(const std::wstring& path);

} // namespace FileData
