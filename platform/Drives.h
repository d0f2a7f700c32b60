#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

// Drives in the shapes of the Win32 calls the program was written against. On Windows these
// forward to the system; on POSIX a drive table (posix/DriveTable.h) gives letters to the CD
// root, to whole-disk block devices and to virtual sticks. Names avoid the windows.h macros.
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

constexpr std::uint32_t kIoctlStorageQueryProperty = 0x2D1400;
constexpr std::uint32_t kIoctlDiskGetDriveGeometry = 0x70000;
constexpr std::uint32_t kBusTypeUsb = 7;

// Layouts of STORAGE_PROPERTY_QUERY, STORAGE_DEVICE_DESCRIPTOR and DISK_GEOMETRY.
struct StoragePropertyQuery {
    std::uint32_t propertyId = 0; // StorageDeviceProperty
    std::uint32_t queryType = 0;  // PropertyStandardQuery
    std::uint8_t additionalParameters[4] = {};
};
static_assert(sizeof(StoragePropertyQuery) == 12);

struct StorageDeviceDescriptor {
    std::uint32_t version;
    std::uint32_t size;
    std::uint8_t deviceType;
    std::uint8_t deviceTypeModifier;
    std::uint8_t removableMedia;
    std::uint8_t commandQueueing;
    std::uint32_t vendorIdOffset;
    std::uint32_t productIdOffset;
    std::uint32_t productRevisionOffset;
    std::uint32_t serialNumberOffset;
    std::uint32_t busType;
    std::uint32_t rawPropertiesLength;
    std::uint8_t rawDeviceProperties[1];
};

struct DiskGeometry {
    std::int64_t cylinders;
    std::uint32_t mediaType;
    std::uint32_t tracksPerCylinder;
    std::uint32_t sectorsPerTrack;
    std::uint32_t bytesPerSector;
};
static_assert(sizeof(DiskGeometry) == 24);

// Bit n set: drive letter 'A' + n exists.
std::uint32_t GetLogicalDrives();
// rootPath as "E:\".
DriveType GetDriveTypeW(const std::wstring& rootPath);

// An opened volume device ("\\?\E:"), closed when the handle goes.
class DeviceHandle {
public:
    DeviceHandle() = default;
    explicit DeviceHandle(std::intptr_t native, wchar_t letter) : m_native(native), m_letter(letter) { }
    DeviceHandle(DeviceHandle&& other) noexcept;
    DeviceHandle& operator=(DeviceHandle&& other) noexcept;
    DeviceHandle(const DeviceHandle&) = delete;
    DeviceHandle& operator=(const DeviceHandle&) = delete;
    ~DeviceHandle();

    bool IsValid() const { return m_native != kInvalid; }
    std::intptr_t Native() const { return m_native; }
    wchar_t Letter() const { return m_letter; }

    static constexpr std::intptr_t kInvalid = -1;

private:
    std::intptr_t m_native = kInvalid;
    wchar_t m_letter = 0;
};

// The drive letter a drive path names, upper case: "E:\x", "\\?\E:" and "\\.\E:" give 'E';
// 0 when the text names no drive.
wchar_t DriveLetterOf(const std::wstring& path);
// The letter itself, upper case; 0 when it is no drive letter.
wchar_t DriveLetterOf(wchar_t letter);

// Closes a native volume handle; each backend's own.
void CloseDevice(std::intptr_t native);

// GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING. Invalid on failure.
DeviceHandle CreateFileW(const std::wstring& devicePath);
bool DeviceIoControl(DeviceHandle& device, std::uint32_t code, const void* in, std::uint32_t inSize,
    void* out, std::uint32_t outSize, std::uint32_t* bytesReturned);

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

enum class DriveHoldError {
    None,
    NotThatDevice, // the letter is gone or names another device now
    AccessDenied,  // this process may not write the device
    Unavailable,   // anything else: busy elsewhere, in use by the system, unreadable
};

// A device held for the length of a job: while it lives, nobody else mounts or claims it, and
// this process's own drive calls on its letter (format, copies, installer) reach exactly that
// device or fail. Where the system offers no such hold, the identity check is all there is.
class DriveHold {
public:
    virtual ~DriveHold() = default;
};

struct DriveHoldResult {
    std::unique_ptr<DriveHold> hold; // null when refused
    DriveHoldError error = DriveHoldError::None;
    std::string detail;              // why, in one line, for the console
};

DriveHoldResult HoldDrive(wchar_t letter, const std::wstring& identity);

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
