#pragma once

#include "platform/Drives.h"

#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace platform::posix {

struct DriveInfo {
    enum class Kind { CdRoot, BlockDevice, VirtualStick };
    char letter = 0;                 // 'A'..'Z'
    Kind kind = Kind::BlockDevice;
    std::string path;                // the CD root folder, /dev/sdX, or the stick's image file
    std::string sysName;             // "sdb" for block devices
    DriveType type = DriveType::Unknown;
    std::uint32_t busType = 0;       // 7: USB
    std::uint64_t sizeBytes = 0;
    std::uint32_t logicalSectorSize = 512;
};

// The POSIX drive table: the CD root, whole-disk block devices from sysfs and virtual sticks,
// each under a drive letter that stays while the device stays.
class DriveTable {
public:
    struct Options {
        std::string sysfsRoot = "/sys";
        std::string devRoot = "/dev";
        std::string cdRoot;          // the folder above the executable's folder
        std::string virtualSticks;   // ARKEVEN_VIRTUAL_STICKS: "file[:removable|:fixed],..."
    };

    explicit DriveTable(Options options);

    // Process-wide table: /sys, /dev, the CD root found from the executable, ARKEVEN_VIRTUAL_STICKS.
    static DriveTable& Instance();

    void Rescan();
    std::vector<DriveInfo> Drives() const;
    std::optional<DriveInfo> Find(char letter) const;
    std::optional<DriveInfo> CdRoot() const;

    std::string ToNativePath(const std::wstring& drivePath) const;
    std::wstring ToDrivePath(const std::string& nativePath) const;

private:
    Options m_options;
    mutable std::mutex m_mutex;
    std::map<char, DriveInfo> m_drives;
};

} // namespace platform::posix
