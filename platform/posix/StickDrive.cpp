#include "platform/posix/StickDrive.h"

#include "platform/Drives.h"
#include "platform/Utf8.h"
#include "platform/posix/DriveTable.h"
#include "platform/posix/MountTable.h"

namespace platform::posix {

char StickDrive::LetterOf(const std::wstring& drivePath)
{
    // Only plain drive paths ("E:\name"), not device paths ("\\?\E:").
    if (drivePath.rfind(L"\\\\", 0) == 0)
        return 0;
    return static_cast<char>(DriveLetterOf(drivePath));
}

std::string StickDrive::PathBelowRoot(const std::wstring& drivePath)
{
    std::wstring rest = LetterOf(drivePath) ? drivePath.substr(2) : drivePath;
    for (wchar_t& character : rest) {
        if (character == L'\\')
            character = L'/';
    }
    std::string utf8 = ToUtf8(rest);
    while (!utf8.empty() && utf8.front() == '/')
        utf8.erase(0, 1);
    return utf8;
}

bool StickDrive::IsStickLetter(char letter)
{
    auto drive = letter ? DriveTable::Instance().Find(letter) : std::nullopt;
    if (!drive)
        return false;
    if (drive->kind == DriveInfo::Kind::VirtualStick)
        return true;
    return drive->kind == DriveInfo::Kind::BlockDevice && drive->busType == kBusTypeUsb;
}

std::optional<StickVolume> StickDrive::Disk(char letter, std::string& error)
{
    auto drive = letter ? DriveTable::Instance().Find(letter) : std::nullopt;
    if (!drive) {
        error = std::string("no drive ") + (letter ? letter : '?') + ":";
        return std::nullopt;
    }
    if (!IsStickLetter(letter)) {
        error = std::string("drive ") + letter + ": is not a USB stick";
        return std::nullopt;
    }
    bool isBlockDevice = drive->kind == DriveInfo::Kind::BlockDevice;
    return StickVolume::PlannedLayout(drive->path, drive->sizeBytes, drive->logicalSectorSize, isBlockDevice);
}

std::optional<StickVolume> StickDrive::Volume(char letter, std::string& error)
{
    auto disk = Disk(letter, error);
    if (!disk)
        return std::nullopt;
    return StickVolume::ReadFromDisk(disk->diskPath, disk->sectorSize, error);
}

bool StickDrive::ReleaseFromSystem(const std::string& diskPath, std::string& error)
{
    auto mounts = MountTable::Load().MountsOnDisk(diskPath);
    for (auto& mount : mounts) {
        if (MountTable::IsSystemMountPoint(mount.mountPoint)) {
            error = diskPath + " holds " + mount.mountPoint + " of the running system";
            return false;
        }
    }
    if (MountTable::DiskHoldsSwap(diskPath)) {
        error = diskPath + " holds swap space of the running system";
        return false;
    }
    return MountTable::Unmount(mounts, error);
}

} // namespace platform::posix
