#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>

namespace platform::win32 {

// Devices that answer for USB sticks where the system has none. The Windows tests run under
// wine, which knows no USB disks, and install theirs (tests/platform/win32/sticks/); the program
// itself installs none, so for it every drive is the system's own.
class UsbStandIns {
public:
    struct Disk {
        std::wstring path;
        std::uint64_t volumeFirstSector = 0;
        DWORD sectorSize = 512;
    };

    virtual ~UsbStandIns() = default;

    virtual bool Names(wchar_t letter) = 0;
    // The controls a job sends to the stand-in's volume and disk, in DeviceIoControl's shape.
    virtual BOOL Answer(HANDLE device, DWORD code, void* in, DWORD inSize, void* out, DWORD outSize, DWORD* returned) = 0;
    // The disk under the drive's volume and where the volume starts on it.
    virtual std::optional<Disk> DiskUnder(wchar_t letter) = 0;

    // Made before the program starts its threads.
    static void Install(UsbStandIns& standIns);
    // The stand-in that answers for the drive; null when the system does.
    static UsbStandIns* For(wchar_t letter);
};

} // namespace platform::win32
