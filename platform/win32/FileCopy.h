#pragma once

#include <cstdint>
#include <string>

// CopyFileW / CopyFileExW, the progress routine's 64-bit numbers as plain integers.
namespace platform {

using CopyProgressRoutine = std::uint32_t (*)(std::int64_t totalFileSize, std::int64_t totalBytesTransferred,
    std::int64_t streamSize, std::int64_t streamBytesTransferred, std::uint32_t streamNumber,
    std::uint32_t callbackReason, void* sourceFile, void* destinationFile, void* data);

constexpr std::uint32_t kProgressContinue = 0;

// Both replace an existing destination unless failIfExists; false on any failure.
bool CopyFileW(const std::wstring& source, const std::wstring& destination, bool failIfExists);
bool CopyFileExW(const std::wstring& source, const std::wstring& destination, CopyProgressRoutine progress,
    void* data, int* cancel, std::uint32_t flags);

} // namespace platform
