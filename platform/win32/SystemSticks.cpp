#include "platform/win32/SystemSticks.h"

#include "platform/Process.h"
#include "platform/files/Utf8.h"
#include "platform/win32/FormatLibrary.h"
#include "platform/win32/HeldVolume.h"
#include "platform/win32/UniqueHandle.h"
#include "platform/win32/UsbStandIns.h"

#include <windows.h>
#include <winioctl.h>

#include <vector>

namespace platform {

Sticks& Sticks::System()
{
    static win32::SystemSticks sticks;
    return sticks;
}

namespace win32 {

namespace {

// Larger than the descriptor with its strings usually is; set in its size field before the query.
constexpr DWORD kDriveDescriptorBufferSize = 551;

// 'A' plus the index of the lowest set bit among bits 0 to 25 (the count stops after 26).
wchar_t DriveLetterFromMask(DWORD mask)
{
    int index = 0;
    while (index < 26 && !(mask & 1u)) {
        mask >>= 1;
        ++index;
    }
    return static_cast<wchar_t>(L'A' + index);
}

// A stand-in's drive answers as a USB stick would (only in the tests under wine).
BOOL Control(HANDLE device, wchar_t letter, DWORD code, void* in, DWORD inSize, void* out, DWORD outSize, DWORD* returned)
{
    if (UsbStandIns* standIn = UsbStandIns::For(letter))
        return standIn->Answer(device, code, in, inSize, out, outSize, returned);
    return ::DeviceIoControl(device, code, in, inSize, out, outSize, returned, nullptr);
}

// The storage property query and then the geometry query, the second whatever the first gave;
// true when both succeeded.
bool QueryDriveInfo(HANDLE device, wchar_t letter, BYTE* descriptorBuffer, DISK_GEOMETRY& geometry)
{
    STORAGE_PROPERTY_QUERY query {};
    query.PropertyId = StorageDeviceProperty;
    query.QueryType = PropertyStandardQuery;
    auto* descriptor = reinterpret_cast<STORAGE_DEVICE_DESCRIPTOR*>(descriptorBuffer);
    DWORD returned = 0;
    bool propertyOk = Control(device, letter, IOCTL_STORAGE_QUERY_PROPERTY, &query, sizeof query, descriptorBuffer, descriptor->Size, &returned) != FALSE;
    bool geometryOk = Control(device, letter, IOCTL_DISK_GET_DRIVE_GEOMETRY, nullptr, 0, &geometry, sizeof geometry, &returned) != FALSE;
    return propertyOk && geometryOk;
}

DriveBus BusOf(STORAGE_BUS_TYPE bus)
{
    switch (bus) {
    case BusTypeUsb:
        return DriveBus::Usb;
    case BusTypeSata:
        return DriveBus::Sata;
    case BusTypeNvme:
        return DriveBus::Nvme;
    case BusTypeSd:
        return DriveBus::Sd;
    case BusTypeAta:
        return DriveBus::Ata;
    default:
        return DriveBus::Other;
    }
}

// Whether the system refuses writes to the medium (a lock switch); a query that fails otherwise
// leaves that to the format.
bool IsWriteProtected(HANDLE device, wchar_t letter)
{
    DWORD returned = 0;
    return !Control(device, letter, IOCTL_DISK_IS_WRITABLE, nullptr, 0, nullptr, 0, &returned)
        && ::GetLastError() == ERROR_WRITE_PROTECT;
}

// Opens the volume's device and asks for its bus and geometry. The queries need no access
// rights, and a handle without them can't make another job's lock on the volume fail.
void Probe(DriveFacts& drive)
{
    std::wstring path = L"\\\\?\\" + std::wstring(1, drive.letter) + L":";
    UniqueHandle device(::CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr));
    drive.opened = static_cast<bool>(device);
    if (!drive.opened)
        return;
    // A fresh buffer for every drive, its size field set before the query.
    std::vector<BYTE> descriptorBuffer(kDriveDescriptorBufferSize);
    auto* descriptor = reinterpret_cast<STORAGE_DEVICE_DESCRIPTOR*>(descriptorBuffer.data());
    descriptor->Size = kDriveDescriptorBufferSize;
    DISK_GEOMETRY geometry {};
    drive.queried = QueryDriveInfo(device.Get(), drive.letter, descriptorBuffer.data(), geometry);
    drive.bus = BusOf(descriptor->BusType);
    drive.geometry = { geometry.Cylinders.QuadPart, geometry.TracksPerCylinder, geometry.SectorsPerTrack, geometry.BytesPerSector };
    drive.writeProtected = drive.queried && IsWriteProtected(device.Get(), drive.letter);
}

} // namespace

static_assert(static_cast<UINT>(DriveType::Removable) == DRIVE_REMOVABLE && static_cast<UINT>(DriveType::CdRom) == DRIVE_CDROM);

// The drive mask read once, visited from A upward; only removable and fixed drives are opened
// and queried.
std::vector<DriveFacts> SystemSticks::ListDrives()
{
    std::vector<DriveFacts> drives;
    DWORD mask = ::GetLogicalDrives();
    for (int bit = 0; bit < 32; ++bit) {
        DWORD single = 1u << bit;
        if (!(mask & single))
            continue;
        DriveFacts drive;
        drive.letter = DriveLetterFromMask(single);
        std::wstring root = std::wstring(1, drive.letter) + L":\\";
        drive.type = static_cast<DriveType>(::GetDriveTypeW(root.c_str()));
        if (drive.IsCandidate())
            Probe(drive);
        if (drive.IsUsbDrive()) {
            drive.name = NameDrive(drive.letter);
            drive.identity = GetDriveIdentity(drive.letter);
        }
        drives.push_back(std::move(drive));
    }
    return drives;
}

bool SystemSticks::IsDriveStill(wchar_t letter, const std::wstring& identity)
{
    return platform::IsDriveStill(letter, identity);
}

StickHoldResult SystemSticks::Hold(wchar_t letter, const std::wstring& identity)
{
    StickHoldResult result;
    letter = DriveLetterOf(letter);
    if (!IsDriveStill(letter, identity)) {
        result.error = StickHoldError::NotThatDevice;
        result.detail = "drive " + ToUtf8(std::wstring(1, letter ? letter : L'?')) + ": is not the chosen stick any more";
        return result;
    }
    result.stick = std::make_unique<HeldVolume>(letter);
    return result;
}

std::vector<std::string> SystemSticks::MissingTools()
{
    if (LoadFmifsEntryPoints())
        return {};
    ConsoleWrite("Could not located FMIFS entry points.\n\n");
    return { "fmifs.dll" };
}

// The command interpreter completes a name without an extension in this order (PATHEXT's
// default start).
std::wstring SystemSticks::FindInstaller(const std::wstring& program)
{
    for (const wchar_t* extension : { L".com", L".exe", L".bat", L".cmd" }) {
        std::wstring file = program + extension;
        DWORD attributes = ::GetFileAttributesW(file.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY))
            return file;
    }
    return {};
}

std::string SystemSticks::SourceFilePath(const std::wstring& drivePath)
{
    return ToNativePath(drivePath);
}

} // namespace win32

} // namespace platform
