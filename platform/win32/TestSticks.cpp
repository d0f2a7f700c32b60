#include "platform/win32/TestSticks.h"

#include "platform/Drives.h"
#include "platform/disk/AlignedBuffer.h"
#include "platform/disk/LittleEndian.h"
#include "platform/win32/UniqueHandle.h"

#include <winioctl.h>

#include <cstdlib>
#include <cstring>

namespace platform::win32 {

namespace {

constexpr DWORD kSectorSize = 512;
constexpr std::size_t kFirstPartitionStart = 446 + 8;

// The setting serves the tests under wine alone: on Windows itself it would let a fixed disk pass
// for a stick, so there it is never read.
bool RunsUnderWine()
{
    HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
    return ntdll && ::GetProcAddress(ntdll, "wine_get_version");
}

} // namespace

bool TestSticks::Names(wchar_t letter)
{
    static const bool underWine = RunsUnderWine();
    const char* names = std::getenv("ARKEVEN_TEST_USB_DRIVES");
    letter = DriveLetterOf(letter);
    if (!underWine || !names || !letter)
        return false;
    for (const char* name = names; *name; ++name) {
        if (DriveLetterOf(static_cast<wchar_t>(*name)) == letter)
            return true;
    }
    return false;
}

bool TestSticks::Answer(HANDLE device, DWORD code, void* out, DWORD outSize, DWORD* returned)
{
    *returned = 0;
    if (code == IOCTL_STORAGE_QUERY_PROPERTY && out && outSize >= sizeof(STORAGE_DEVICE_DESCRIPTOR)) {
        STORAGE_DEVICE_DESCRIPTOR descriptor {};
        descriptor.Version = sizeof descriptor;
        descriptor.Size = sizeof descriptor;
        descriptor.RemovableMedia = TRUE;
        descriptor.BusType = BusTypeUsb;
        std::memcpy(out, &descriptor, sizeof descriptor);
        *returned = sizeof descriptor;
        return true;
    }
    // A stick named in ARKEVEN_TEST_WRITE_PROTECTED has its lock switch on.
    if (code == IOCTL_DISK_IS_WRITABLE) {
        const char* locked = std::getenv("ARKEVEN_TEST_WRITE_PROTECTED");
        ::SetLastError(ERROR_WRITE_PROTECT);
        return !(locked && *locked);
    }
    LARGE_INTEGER size {};
    if (code == IOCTL_DISK_GET_DRIVE_GEOMETRY && out && outSize >= sizeof(DISK_GEOMETRY) && ::GetFileSizeEx(device, &size)) {
        DISK_GEOMETRY geometry {};
        geometry.MediaType = RemovableMedia;
        geometry.BytesPerSector = kSectorSize;
        geometry.SectorsPerTrack = 1;
        geometry.TracksPerCylinder = 1;
        geometry.Cylinders.QuadPart = size.QuadPart / kSectorSize;
        std::memcpy(out, &geometry, sizeof geometry);
        *returned = sizeof geometry;
        return true;
    }
    ::SetLastError(ERROR_INVALID_FUNCTION);
    return false;
}

std::optional<TestSticks::Disk> TestSticks::DiskUnder(wchar_t letter)
{
    Disk disk;
    disk.path = L"\\\\.\\" + std::wstring(1, DriveLetterOf(letter)) + L":";
    UniqueHandle device(::CreateFileW(disk.path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
        OPEN_EXISTING, FILE_FLAG_NO_BUFFERING, nullptr));
    AlignedBuffer sector(kSectorSize);
    DWORD count = 0;
    if (!device || !::ReadFile(device.Get(), sector.Data(), kSectorSize, &count, nullptr) || count != kSectorSize)
        return std::nullopt;
    disk.volumeFirstSector = GetLittle32(sector.Data() + kFirstPartitionStart);
    return disk;
}

} // namespace platform::win32
