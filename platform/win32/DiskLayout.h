#pragma once

#include "platform/Sticks.h"
#include "platform/win32/DeviceCalls.h"

#include <string>

namespace platform::win32 {

// A stick's disk laid out anew before its format, whatever it held: one MBR partition, FAT32
// LBA, from 1 MiB, as large as StickPartition plans. Every volume of the disk is locked and
// dismounted first (nothing is changed when one can't be); then IOCTL_DISK_CREATE_DISK,
// IOCTL_DISK_SET_DRIVE_LAYOUT_EX and IOCTL_DISK_UPDATE_PROPERTIES on the disk's device; then the
// volumes are let go and the new one is waited for, on the same disk, under whatever letter the
// system gives it.
class DiskLayout {
public:
    explicit DiskLayout(wchar_t letter);

    LayoutOutcome Run(std::string& error);
    // The new volume's letter once Run is done.
    wchar_t Letter() const { return m_letter; }

private:
    struct Disk {
        std::wstring path;   // "\\.\PhysicalDrive3"
        unsigned long number = 0;
    };
    // The calls that reach a drive's device: a test drive's stand-in under wine, else the system.
    DeviceCalls& CallsFor(wchar_t letter) const;
    bool FindDisk(Disk& disk, std::string& error) const;
    std::wstring LettersOfDisk(const Disk& disk) const;
    LayoutOutcome WriteLayout(HANDLE disk, DeviceCalls& calls, std::string& error) const;
    bool WaitForVolume(const Disk& disk, std::string& error);

    wchar_t m_letter;
};

} // namespace platform::win32
