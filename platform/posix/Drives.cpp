// The drive calls of platform/Drives.h over the POSIX drive table.
#include "platform/Drives.h"

#include "platform/Utf8.h"
#include "platform/posix/DeviceEventWatcher.h"
#include "platform/posix/DriveTable.h"
#include "platform/posix/StickHold.h"

#include <cerrno>
#include <cstddef>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

using posix::DriveInfo;
using posix::DriveTable;

namespace {

constexpr std::uint32_t kFixedPartOfDescriptor = offsetof(StorageDeviceDescriptor, rawDeviceProperties);
constexpr std::uint32_t kRemovableMedia = 11;
constexpr std::uint32_t kFixedMedia = 12;
constexpr std::uint32_t kTracksPerCylinder = 255;
constexpr std::uint32_t kSectorsPerTrack = 63;

bool QueryStorageProperty(const DriveInfo& drive, const void* in, std::uint32_t inSize, void* out, std::uint32_t outSize, std::uint32_t* bytesReturned)
{
    if (!in || inSize < sizeof(StoragePropertyQuery) || !out || outSize < kFixedPartOfDescriptor)
        return false;
    StoragePropertyQuery query;
    std::memcpy(&query, in, sizeof(query));
    if (query.propertyId != 0 || query.queryType != 0)
        return false; // only the standard query of the device property is known here

    StorageDeviceDescriptor descriptor {};
    descriptor.version = sizeof(StorageDeviceDescriptor);
    descriptor.removableMedia = drive.type == DriveType::Removable ? 1 : 0;
    descriptor.busType = drive.busType;

    // Vendor and product follow the fixed part as zero-terminated strings, where they fit.
    auto* bytes = static_cast<std::uint8_t*>(out);
    std::uint32_t used = kFixedPartOfDescriptor;
    auto append = [&](const std::string& text) -> std::uint32_t {
        if (text.empty() || used + text.size() + 1 > outSize)
            return 0;
        std::uint32_t offset = used;
        std::memcpy(bytes + offset, text.c_str(), text.size() + 1);
        used += static_cast<std::uint32_t>(text.size() + 1);
        return offset;
    };
    descriptor.vendorIdOffset = append(drive.vendor);
    descriptor.productIdOffset = append(drive.product);
    descriptor.size = used;
    std::memcpy(bytes, &descriptor, kFixedPartOfDescriptor);
    if (bytesReturned)
        *bytesReturned = used;
    return true;
}

bool QueryGeometry(const DriveInfo& drive, void* out, std::uint32_t outSize, std::uint32_t* bytesReturned)
{
    if (!out || outSize < sizeof(DiskGeometry) || drive.logicalSectorSize == 0)
        return false;
    DiskGeometry geometry {};
    geometry.tracksPerCylinder = kTracksPerCylinder;
    geometry.sectorsPerTrack = kSectorsPerTrack;
    geometry.bytesPerSector = drive.logicalSectorSize;
    geometry.cylinders = static_cast<std::int64_t>(drive.sizeBytes / (std::uint64_t(kTracksPerCylinder) * kSectorsPerTrack * drive.logicalSectorSize));
    geometry.mediaType = drive.type == DriveType::Removable ? kRemovableMedia : kFixedMedia;
    std::memcpy(out, &geometry, sizeof(geometry));
    if (bytesReturned)
        *bytesReturned = sizeof(geometry);
    return true;
}

} // namespace

std::uint32_t GetLogicalDrives()
{
    DriveTable& table = DriveTable::Instance();
    table.Rescan();
    std::uint32_t mask = 0;
    for (const DriveInfo& drive : table.Drives())
        mask |= 1u << (drive.letter - 'A');
    return mask;
}

DriveType GetDriveTypeW(const std::wstring& rootPath)
{
    char letter = static_cast<char>(DriveLetterOf(rootPath));
    if (!letter)
        return DriveType::NoRootDir;
    auto drive = DriveTable::Instance().Find(letter);
    return drive ? drive->type : DriveType::NoRootDir;
}

void CloseDevice(std::intptr_t native)
{
    ::close(static_cast<int>(native));
}

DeviceHandle CreateFileW(const std::wstring& devicePath)
{
    char letter = static_cast<char>(DriveLetterOf(devicePath));
    auto drive = letter ? DriveTable::Instance().Find(letter) : std::nullopt;
    // The CD root is a folder, not a volume: Windows refuses a CD volume to most callers too.
    if (!drive || drive->kind == DriveInfo::Kind::CdRoot)
        return {};

    // O_NONBLOCK keeps a FIFO put in a stick's place from hanging the caller; only block
    // devices and image files are accepted once open.
    int fd = ::open(drive->path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return {};
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !(S_ISBLK(info.st_mode) || S_ISREG(info.st_mode))) {
        ::close(fd);
        return {};
    }
    int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0)
        ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    return DeviceHandle(fd, static_cast<wchar_t>(drive->letter));
}

bool DeviceIoControl(DeviceHandle& device, std::uint32_t code, const void* in, std::uint32_t inSize,
    void* out, std::uint32_t outSize, std::uint32_t* bytesReturned)
{
    if (bytesReturned)
        *bytesReturned = 0;
    if (!device.IsValid())
        return false;
    auto drive = DriveTable::Instance().Find(static_cast<char>(device.Letter()));
    if (!drive || drive->kind == DriveInfo::Kind::CdRoot)
        return false;
    switch (code) {
    case kIoctlStorageQueryProperty:
        return QueryStorageProperty(*drive, in, inSize, out, outSize, bytesReturned);
    case kIoctlDiskGetDriveGeometry:
        return QueryGeometry(*drive, out, outSize, bytesReturned);
    default:
        return false;
    }
}

std::wstring GetDriveIdentity(wchar_t letter)
{
    DriveTable& table = DriveTable::Instance();
    table.Rescan();
    auto drive = table.Find(static_cast<char>(DriveLetterOf(letter)));
    return drive ? FromUtf8(drive->identity) : std::wstring();
}

bool IsDriveStill(wchar_t letter, const std::wstring& identity)
{
    return !identity.empty() && GetDriveIdentity(letter) == identity;
}

DriveHoldResult HoldDrive(wchar_t letter, const std::wstring& identity)
{
    return posix::StickHold::Acquire(static_cast<char>(DriveLetterOf(letter)), ToUtf8(identity));
}

std::unique_ptr<DeviceEventSource> WatchDeviceEvents(std::function<void(std::uint32_t event)> onEvent)
{
    return std::make_unique<posix::DeviceEventWatcher>(DriveTable::SharedInstance(), std::move(onEvent), posix::DeviceEventWatcher::Options {});
}

std::string ToNativePath(const std::wstring& drivePath)
{
    return DriveTable::Instance().ToNativePath(drivePath);
}

std::wstring ToDrivePath(const std::string& nativePath)
{
    return DriveTable::Instance().ToDrivePath(nativePath);
}

} // namespace platform
