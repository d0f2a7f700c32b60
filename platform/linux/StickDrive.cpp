#include "platform/linux/StickDrive.h"

#include "platform/Drives.h"
#include "platform/files/Utf8.h"
#include "platform/linux/DriveTable.h"
#include "platform/linux/MountTable.h"
#include "platform/linux/StickHold.h"

#include <cerrno>

namespace platform::linux {

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
    return drive->kind == DriveInfo::Kind::BlockDevice && drive->busType == DriveBus::Usb;
}

std::optional<StickAccess> StickDrive::Disk(char letter, std::string& error)
{
    auto& table = DriveTable::Instance();
    table.Rescan();
    auto drive = letter ? table.Find(letter) : std::nullopt;
    if (!drive) {
        error = std::string("no drive ") + (letter ? letter : '?') + ":";
        return std::nullopt;
    }
    if (!IsStickLetter(drive->letter)) {
        error = std::string("drive ") + drive->letter + ": is not a USB stick";
        return std::nullopt;
    }
    auto disk = StickHold::HeldFor(drive->letter);
    if (disk && disk->Identity() != drive->identity) {
        error = std::string("drive ") + drive->letter + ": no longer names the stick this job holds";
        return std::nullopt;
    }
    if (!disk) {
        StickHoldError why;
        disk = HeldDisk::Open(*drive, table.SysfsRoot(), why, error);
        if (!disk)
            return std::nullopt;
    }
    // The table's size may be stale; the disk itself tells.
    bool isBlockDevice = false;
    auto size = DiskSizeOf(disk->Fd(), &isBlockDevice);
    if (!size) {
        error = drive->path + ": the stick is gone";
        return std::nullopt;
    }
    auto layout = StickVolume::PlannedLayout(disk->ReachPath(), *size, drive->logicalSectorSize, isBlockDevice);
    layout.shownName = drive->path;
    return StickAccess { std::move(disk), std::move(layout) };
}

std::optional<StickAccess> StickDrive::Volume(char letter, std::string& error)
{
    auto access = Disk(letter, error);
    if (!access)
        return std::nullopt;
    auto volume = StickVolume::ReadFromDisk(access->volume.diskPath, access->volume.sectorSize, error);
    if (!volume) {
        // Named as the user knows the disk, not by the held descriptor's path.
        if (error.rfind(access->volume.diskPath, 0) == 0)
            error.replace(0, access->volume.diskPath.size(), access->volume.shownName);
        return std::nullopt;
    }
    volume->shownName = access->volume.shownName;
    access->volume = std::move(*volume);
    return access;
}

bool StickDrive::ReleaseFromSystem(const std::string& diskPath, StickHoldError& why, std::string& error)
{
    why = StickHoldError::Unavailable;
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
    if (MountTable::Unmount(mounts, error))
        return true;
    if (errno == EBUSY)
        why = StickHoldError::InUse;
    return false;
}

} // namespace platform::linux
