#pragma once

#include <cstdint>
#include <string>

// Reading a written stick back from the medium itself, past the system's caches, so that a
// stick is called ready only when it holds what was written.
namespace platform {

enum class ReadBackResult { Same, Different, Unreadable };

// Compares the copy on a stick ("E:\root.lzm") with its original ("D:\ISOLINUX\root.lzm").
// `detail` says what differed or could not be read, in one line.
ReadBackResult ReadBackCopy(const std::wstring& original, const std::wstring& copy, std::string& detail);

// Whether the stick behind `letter` can boot as written: its boot record carries boot code,
// exactly the volume's partition is marked active, and ldlinux.sys is in the volume's root.
bool ReadBackBootPieces(wchar_t letter, std::string& detail);

// The boot-record part of that on the disk's first sector, for a volume that starts at
// `volumeFirstSector`.
bool CheckBootRecord(const std::uint8_t* sector, std::size_t size, std::uint64_t volumeFirstSector, std::string& detail);

} // namespace platform
