#include "platform/win32/FileCopy.h"

#include <windows.h>

// CopyFileW / CopyFileExW. The progress routine gets the system's LARGE_INTEGER arguments as
// plain 64-bit numbers.
namespace platform {

namespace {

struct ProgressForward {
    CopyProgressRoutine routine;
    void* data;
};

DWORD CALLBACK ForwardProgress(LARGE_INTEGER totalFileSize, LARGE_INTEGER totalBytesTransferred, LARGE_INTEGER streamSize,
    LARGE_INTEGER streamBytesTransferred, DWORD streamNumber, DWORD callbackReason, HANDLE sourceFile,
    HANDLE destinationFile, LPVOID data)
{
    auto* forward = static_cast<ProgressForward*>(data);
    return forward->routine(totalFileSize.QuadPart, totalBytesTransferred.QuadPart, streamSize.QuadPart,
        streamBytesTransferred.QuadPart, streamNumber, callbackReason, sourceFile, destinationFile, forward->data);
}

} // namespace

bool CopyFileW(const std::wstring& source, const std::wstring& destination, bool failIfExists)
{
    return ::CopyFileW(source.c_str(), destination.c_str(), failIfExists ? TRUE : FALSE) != FALSE;
}

bool CopyFileExW(const std::wstring& source, const std::wstring& destination, CopyProgressRoutine progress,
    void* data, int* cancel, std::uint32_t flags)
{
    static_assert(sizeof(BOOL) == sizeof(int));
    ProgressForward forward { progress, data };
    return ::CopyFileExW(source.c_str(), destination.c_str(), progress ? &ForwardProgress : nullptr,
               progress ? &forward : nullptr, reinterpret_cast<LPBOOL>(cancel), flags)
        != FALSE;
}

} // namespace platform
