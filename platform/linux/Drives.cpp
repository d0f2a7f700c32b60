// The drive calls of platform/Drives.h over the Linux drive table.
#include "platform/Drives.h"

#include "platform/files/Utf8.h"
#include "platform/linux/DeviceEventWatcher.h"
#include "platform/linux/DrivePathTranslator.h"
#include "platform/linux/DriveTable.h"

namespace platform {

using linux::DriveTable;

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

DriveName NameDrive(wchar_t letter)
{
    letter = DriveLetterOf(letter);
    auto drive = letter ? DriveTable::Instance().Find(static_cast<char>(letter)) : std::nullopt;
    if (!drive)
        return {};
    DriveName name;
    name.location = FromUtf8(drive->path);
    // A virtual stick is its file; the vendor and model it reports are our own invention.
    if (drive->kind == linux::DriveInfo::Kind::BlockDevice) {
        std::string model = drive->vendor;
        if (!drive->product.empty())
            model += (model.empty() ? "" : " ") + drive->product;
        name.model = FromUtf8(model);
    }
    return name;
}

std::unique_ptr<DeviceEventSource> WatchDeviceEvents(std::function<void(std::uint32_t event)> onEvent)
{
    return std::make_unique<linux::DeviceEventWatcher>(DriveTable::SharedInstance(), std::move(onEvent), linux::DeviceEventWatcher::Options {});
}

std::string ToNativePath(const std::wstring& drivePath)
{
    return linux::DrivePathTranslator(DriveTable::Instance()).ToNativePath(drivePath);
}

std::wstring ToDrivePath(const std::string& nativePath)
{
    return linux::DrivePathTranslator(DriveTable::Instance()).ToDrivePath(nativePath);
}

} // namespace platform
