#pragma once

#include "platform/ReadBack.h"
#include "platform/disk/BootRecord.h"
#include "platform/win32/DeviceCalls.h"

#include <cstdint>
#include <vector>

#include <string>

// A written stick read back from the medium past the system's caches (win32/ReadBack.cpp).
namespace platform {

// Compares the copy on a stick ("E:\root.lzm") with its original ("D:\ISOLINUX\root.lzm").
// `detail` says what differed or could not be read, in one line.
ReadBackResult ReadBackCopy(const std::wstring& original, const std::wstring& copy, std::string& detail);

// The first sector of the stick's volume read from the medium after a flush of the volume;
// empty when it can't be read.
std::vector<std::uint8_t> ReadVolumeBootSector(wchar_t letter, win32::DeviceCalls& calls = win32::DeviceCalls::System());

// Whether a file on a stick ("E:\ldlinux.sys") is on the medium itself, read unbuffered after a
// flush of its volume: all of it readable, and not only zeros.
bool ReadBackFromMedium(const std::wstring& path, std::string& detail, win32::DeviceCalls& calls = win32::DeviceCalls::System());

// Whether the stick behind `letter` can boot as written, everything read from the medium after a
// flush: its boot record carries boot code and exactly the volume's partition is marked active;
// the volume's boot sector is a boot sector and no longer `bootSectorBefore` (the installer
// wrote its code there); ldlinux.sys is in the volume's root.
bool ReadBackBootPieces(wchar_t letter, const std::vector<std::uint8_t>& bootSectorBefore, std::string& detail,
    win32::DeviceCalls& calls = win32::DeviceCalls::System());

} // namespace platform
