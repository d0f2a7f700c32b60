#pragma once

#include "platform/posix/StickVolume.h"

#include <optional>
#include <string>

namespace platform::posix {

// Drive paths on a stick ("E:\", "E:\root.lzm") to the stick's disk and volume, through the
// drive table. Only USB drives and virtual sticks qualify: never the CD, never another disk.
class StickDrive {
public:
    // The drive letter of a drive path, upper case; 0 when the path has none.
    static char LetterOf(const std::wstring& drivePath);
    // The path below the drive root with forward slashes ("E:\boot\x" -> "boot/x"); UTF-8.
    static std::string PathBelowRoot(const std::wstring& drivePath);
    static bool IsStickLetter(char letter);

    // The whole disk behind a stick letter, with no partition yet (for a format).
    static std::optional<StickVolume> Disk(char letter, std::string& error);
    // The FAT volume on the stick as it is now (for copies and the installer).
    static std::optional<StickVolume> Volume(char letter, std::string& error);

    // Refuses a disk the running system uses and unmounts whatever else is mounted from it.
    static bool ReleaseFromSystem(const std::string& diskPath, std::string& error);
};

} // namespace platform::posix
