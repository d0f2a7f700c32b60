// The drive calls of platform/Drives.h: on Windows they are the system's own.
#include "platform/Drives.h"

#include "platform/files/Utf8.h"
#include "platform/win32/DeviceEventWindow.h"
#include "platform/win32/UniqueHandle.h"

#include <windows.h>

#include <string>
#include <utility>
#include <vector>

namespace platform {

namespace {

// The volume's device opened without any access right: enough for the storage queries, which
// take any access (FILE_ANY_ACCESS), and refused to nobody.
win32::UniqueHandle OpenVolumeForQueries(wchar_t letter)
{
    std::wstring path = L"\\\\.\\" + std::wstring(1, letter) + L":";
    return win32::UniqueHandle(::CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr));
}

// The storage device descriptor of the disk under a volume: the fixed part and the ID strings
// after it. Empty when the query fails.
std::vector<BYTE> QueryDeviceDescriptor(HANDLE volume)
{
    STORAGE_PROPERTY_QUERY query {};
    query.PropertyId = StorageDeviceProperty;
    query.QueryType = PropertyStandardQuery;
    std::vector<BYTE> buffer(1024);
    DWORD returned = 0;
    if (!::DeviceIoControl(volume, IOCTL_STORAGE_QUERY_PROPERTY, &query, sizeof query, buffer.data(),
            static_cast<DWORD>(buffer.size()), &returned, nullptr)
        || returned < sizeof(STORAGE_DEVICE_DESCRIPTOR))
        return {};
    buffer.resize(returned);
    buffer.push_back(0); // the last string ends here at the latest
    return buffer;
}

// One of the descriptor's zero-terminated ASCII strings, without the blanks that pad the
// inquiry fields; empty when the offset is 0 (the device has no such string).
std::string DescriptorString(const std::vector<BYTE>& descriptor, DWORD offset)
{
    if (offset == 0 || offset >= descriptor.size())
        return {};
    std::string text(reinterpret_cast<const char*>(descriptor.data() + offset));
    auto first = text.find_first_not_of(' ');
    if (first == std::string::npos)
        return {};
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

const STORAGE_DEVICE_DESCRIPTOR& DescriptorOf(const std::vector<BYTE>& descriptor)
{
    return *reinterpret_cast<const STORAGE_DEVICE_DESCRIPTOR*>(descriptor.data());
}

// The disk's number and serial, asked of the volume without any access right to it.
std::wstring DiskOfVolume(wchar_t letter)
{
    win32::UniqueHandle volume = OpenVolumeForQueries(letter);
    if (!volume)
        return {};
    std::wstring disk;
    STORAGE_DEVICE_NUMBER number {};
    DWORD returned = 0;
    if (::DeviceIoControl(volume.Get(), IOCTL_STORAGE_GET_DEVICE_NUMBER, nullptr, 0, &number, sizeof number, &returned, nullptr))
        disk += L"#disk" + std::to_wstring(number.DeviceNumber) + L"." + std::to_wstring(number.PartitionNumber);
    std::vector<BYTE> descriptor = QueryDeviceDescriptor(volume.Get());
    if (!descriptor.empty()) {
        std::string serial = DescriptorString(descriptor, DescriptorOf(descriptor).SerialNumberOffset);
        if (!serial.empty())
            disk += L"#serial" + FromUtf8(serial);
    }
    return disk;
}

} // namespace

// The volume's name (its GUID path, given by the system to one volume) and the disk under it.
std::wstring GetDriveIdentity(wchar_t letter)
{
    letter = DriveLetterOf(letter);
    if (!letter)
        return {};
    std::wstring root = std::wstring(1, letter) + L":\\";
    wchar_t volumeName[MAX_PATH] = {};
    if (!::GetVolumeNameForVolumeMountPointW(root.c_str(), volumeName, MAX_PATH))
        return {};
    return volumeName + DiskOfVolume(letter);
}

bool IsDriveStill(wchar_t letter, const std::wstring& identity)
{
    return !identity.empty() && GetDriveIdentity(letter) == identity;
}

std::unique_ptr<DeviceEventSource> WatchDeviceEvents(std::function<void(std::uint32_t event)> onEvent)
{
    auto window = std::make_unique<win32::DeviceEventWindow>(std::move(onEvent));
    if (!window->IsListening())
        return nullptr;
    return window;
}

// The volume's label as Explorer shows it, the disk's vendor and product from the storage
// query, and the volume's device ("\Device\HarddiskVolume5").
DriveName NameDrive(wchar_t letter)
{
    letter = DriveLetterOf(letter);
    if (!letter)
        return {};
    DriveName name;
    std::wstring root = std::wstring(1, letter) + L":\\";
    wchar_t label[MAX_PATH + 1] = {};
    if (::GetVolumeInformationW(root.c_str(), label, MAX_PATH + 1, nullptr, nullptr, nullptr, nullptr, 0))
        name.label = label;
    if (win32::UniqueHandle volume = OpenVolumeForQueries(letter)) {
        std::vector<BYTE> descriptor = QueryDeviceDescriptor(volume.Get());
        if (!descriptor.empty()) {
            std::string vendor = DescriptorString(descriptor, DescriptorOf(descriptor).VendorIdOffset);
            std::string product = DescriptorString(descriptor, DescriptorOf(descriptor).ProductIdOffset);
            name.model = FromUtf8(vendor + (vendor.empty() || product.empty() ? "" : " ") + product);
        }
    }
    wchar_t deviceName[MAX_PATH] = {};
    const wchar_t drive[] = { letter, L':', L'\0' };
    if (::QueryDosDeviceW(drive, deviceName, MAX_PATH) != 0)
        name.location = deviceName;
    return name;
}

// Drive paths are the system's own paths here.
std::string ToNativePath(const std::wstring& drivePath)
{
    return ToUtf8(drivePath);
}

std::wstring ToDrivePath(const std::string& nativePath)
{
    return FromUtf8(nativePath);
}

} // namespace platform
