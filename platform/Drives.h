#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

// Drives as the program speaks of them: by letter, each naming one device that has an identity
// and a name people know it by. What a stick job lists and holds is in platform/Sticks.h. On
// Linux a drive table gives letters to the CD root, to whole-disk block devices and to virtual
// sticks.
namespace platform {

enum class DriveType : std::uint32_t {
    Unknown = 0,
    NoRootDir = 1,
    Removable = 2,
    Fixed = 3,
    Remote = 4,
    CdRom = 5,
    RamDisk = 6,
};

// The drive letter a drive path names, upper case: "E:\x", "\\?\E:" and "\\.\E:" give 'E';
// 0 when the text names no drive.
wchar_t DriveLetterOf(const std::wstring& path);
// The letter itself, upper case; 0 when it is no drive letter.
wchar_t DriveLetterOf(wchar_t letter);

// Device arrival (0x8000) and removal (0x8004), reported from a platform thread for as long as
// the returned object lives.
constexpr std::uint32_t kDeviceArrival = 0x8000;
constexpr std::uint32_t kDeviceRemoveComplete = 0x8004;
class DeviceEventSource {
public:
    virtual ~DeviceEventSource() = default;
};
std::unique_ptr<DeviceEventSource> WatchDeviceEvents(std::function<void(std::uint32_t event)> onEvent);

// ---- One job, one device.
// The identity of the device a drive letter names now, after a fresh look at the system: the
// same text never stands for two devices while the program runs. Empty when the letter names
// no drive.
std::wstring GetDriveIdentity(wchar_t letter);
// Whether the letter still names the device of `identity`; never for an empty identity.
bool IsDriveStill(wchar_t letter, const std::wstring& identity);

// How the system names what lies behind a drive letter, so that people can tell two sticks of
// one size apart. Unknown parts are empty.
struct DriveName {
    std::wstring label;    // the volume's label (Windows)
    std::wstring model;    // the device's vendor and model: "SanDisk Cruzer Blade"
    std::wstring location; // "/dev/sdb", a virtual stick's image file, the CD folder;
                           // Windows: the volume's device, "\Device\HarddiskVolume5"
};
DriveName NameDrive(wchar_t letter);

// Drive paths ("D:\ISOLINUX\vmlinuz") to paths the OS opens, and back. A path without a drive
// letter is taken as native and passed through unchanged.
std::string ToNativePath(const std::wstring& drivePath);
std::wstring ToDrivePath(const std::string& nativePath);

} // namespace platform
