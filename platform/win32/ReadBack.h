#pragma once

#include "platform/ReadBack.h"
#include "platform/disk/BootRecord.h"

#include <string>

// A written stick read back from the medium past the system's caches (win32/ReadBack.cpp).
namespace platform {

// Compares the copy on a stick ("E:\root.lzm") with its original ("D:\ISOLINUX\root.lzm").
// `detail` says what differed or could not be read, in one line.
ReadBackResult ReadBackCopy(const std::wstring& original, const std::wstring& copy, std::string& detail);

// Whether the stick behind `letter` can boot as written: its boot record carries boot code,
// exactly the volume's partition is marked active, and ldlinux.sys is in the volume's root.
bool ReadBackBootPieces(wchar_t letter, std::string& detail);

} // namespace platform
