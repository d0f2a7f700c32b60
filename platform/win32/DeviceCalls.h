#pragma once

#include <windows.h>

#include <string>

namespace platform::win32 {

// The calls a volume's handle is driven with: the system's own, or those of a stand-in device in
// the tests, which needs a device's answers that an image file does not give.
class DeviceCalls {
public:
    virtual ~DeviceCalls() = default;

    virtual BOOL Control(HANDLE handle, DWORD code, void* in, DWORD inSize, void* out, DWORD outSize, DWORD* returned)
    {
        return ::DeviceIoControl(handle, code, in, inSize, out, outSize, returned, nullptr);
    }
    virtual BOOL Read(HANDLE handle, void* data, DWORD size, DWORD* done, OVERLAPPED* position)
    {
        return ::ReadFile(handle, data, size, done, position);
    }
    virtual BOOL Write(HANDLE handle, const void* data, DWORD size, DWORD* done, OVERLAPPED* position)
    {
        return ::WriteFile(handle, data, size, done, position);
    }
    // A volume ("\\.\E:") opened for raw reads and writes: unbuffered, so every write reaches
    // the stick in the order made (buffers must be aligned). INVALID_HANDLE_VALUE on failure.
    virtual HANDLE OpenVolume(const std::wstring& path)
    {
        return ::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
            OPEN_EXISTING, FILE_FLAG_NO_BUFFERING | FILE_FLAG_WRITE_THROUGH, nullptr);
    }

    static DeviceCalls& System()
    {
        static DeviceCalls calls;
        return calls;
    }
};

} // namespace platform::win32
