#pragma once

#include "platform/win32/UsbStandIns.h"

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>

namespace platform::win32 {

// The drives a test names in ARKEVEN_TEST_USB_DRIVES ("E", or "EF" for two), as the virtual sticks
// are on Linux. Wine knows no USB disks: such a drive answers the drive probe as a USB stick, and
// its disk is the device wine gives for the drive ("dosdevices/e::", an image file holding a whole
// disk with an MBR partition table). Read only under wine, never on Windows itself. Installed as
// the backend's USB stand-ins in every executable it is linked into: test_windows and the
// program's test build (tests/standins/Arkeven.exe and Arkeven.com).
class TestSticks {
public:
    using Disk = UsbStandIns::Disk;

    static bool Names(wchar_t letter);
    // The controls a job sends to a USB stick's volume and disk, as the device answers them, on
    // the drive's image file: the storage, geometry, length and writable queries
    // (write-protected while ARKEVEN_TEST_WRITE_PROTECTED is set); the volume lock, dismount and
    // unlock; and a new MBR layout (IOCTL_DISK_CREATE_DISK, IOCTL_DISK_SET_DRIVE_LAYOUT_EX,
    // IOCTL_DISK_UPDATE_PROPERTIES), refused with ERROR_ACCESS_DENIED, as Windows refuses it,
    // while the volume on the disk is not locked. False with ERROR_INVALID_FUNCTION for any
    // other code.
    static bool Answer(HANDLE device, DWORD code, void* in, DWORD inSize, void* out, DWORD outSize, DWORD* returned);
    // The disk under the drive's volume: the device itself, the volume being its first partition.
    static std::optional<Disk> DiskUnder(wchar_t letter);
};

} // namespace platform::win32
