// The drive calls of platform/Drives.h over the Linux drive table.
#include "platform/Drives.h"

#include "platform/files/Utf8.h"
#include "platform/linux/DeviceEventWatcher.h"
#include "platform/linux/DriveTable.h"

namespace platform {

using posix::DriveTable;

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
