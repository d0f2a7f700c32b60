#include "platform/posix/StickDrive.h"

#include "platform/Drives.h"
#include "platform/posix/DriveTable.h"
#include "platform/posix/MountTable.h"

#include <cwctype>

namespace platform::posix {

char StickDrive::LetterOf(const std::wstring& drivePath)
{
    if (drivePath.size() < 2 || drivePath[1] != L':' || !std::iswalpha(drivePath[0]) || drivePath[0] > 0x7F)
        return 0;
    return static_cast<char>(std::towupper(drivePath[0]));
}

std::string StickDrive::PathBelowRoot(const std::wstring& drivePath)
{
    std::wstring rest = LetterOf(drivePath) ? drivePath.substr(2) : drivePath;
    std::string utf8;
    for (wchar_t character : rest) {
        auto code = static_cast<std::uint32_t>(character == L'\\' ? L'/' : character);
        if (code < 0x80) {
            utf8 += static_cast<char>(code);
        } else if (code < 0x800) {
            utf8 += static_cast<char>(0xC0 | (code >> 6));
            utf8 += static_cast<char>(0x80 | (code & 0x3F));
        } else if (code < 0x10000) {
            utf8 += static_cast<char>(0xE0 | (code >> 12));
            utf8 += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            utf8 += static_cast<char>(0x80 | (code & 0x3F));
        } else {
            utf8 += static_cast<char>(0xF0 | (code >> 18));
            utf8 += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
            utf8 += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            utf8 += static_cast<char>(0x80 | (code & 0x3F));
        }
    }
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
