#pragma once

#include "platform/linux/HeldDisk.h"
#include "platform/linux/StickVolume.h"

#include <memory>
#include <optional>
#include <string>

namespace platform::linux {

// A stick's disk, held, and the volume layout through which it is reached.
struct StickAccess {
    std::shared_ptr<HeldDisk> disk;
    StickVolume volume;            // diskPath: the held disk's reach path
};

// Drive paths on a stick ("E:\", "E:\root.lzm") to the stick's disk and volume, through a
// fresh look at the drive table. Only USB drives and virtual sticks qualify: never the CD, never
// another disk. A letter that a job holds is reached through its hold, and only while it still
// names the held device; any other stick is held for the one operation.
class StickDrive {
public:
    // The drive letter of a drive path, upper case; 0 when the path has none.
    static char LetterOf(const std::wstring& drivePath);
    // The path below the drive root with forward slashes ("E:\boot\x" -> "boot/x"); UTF-8.
    static std::string PathBelowRoot(const std::wstring& drivePath);
    static bool IsStickLetter(char letter);

    // The whole disk behind a stick letter, laid out as a format makes it.
    static std::optional<StickAccess> Disk(char letter, std::string& error);
    // The FAT volume on the stick as it is now (for copies, the installer and reading back).
    static std::optional<StickAccess> Volume(char letter, std::string& error);

    // Refuses a disk the running system uses and unmounts whatever else is mounted from it;
    // `why` tells a volume that programs keep open (InUse) from the rest.
    static bool ReleaseFromSystem(const std::string& diskPath, StickHoldError& why, std::string& error);
};

} // namespace platform::linux
