#include "TestSticks.h"

#include "platform/Drives.h"
#include "platform/disk/AlignedBuffer.h"
#include "platform/disk/LittleEndian.h"
#include "platform/win32/UniqueHandle.h"

#include <winioctl.h>

#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <set>
#include <utility>
#include <vector>

namespace platform::win32 {

namespace {

constexpr DWORD kSectorSize = 512;
constexpr std::size_t kFirstPartitionEntry = 446;
constexpr std::size_t kFirstPartitionStart = kFirstPartitionEntry + 8;

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

namespace {

// The images whose volume a handle of this process has locked, by file identity (one image may
// be opened through several handles: the volume's and the disk's).
std::mutex s_lockedMutex;
std::set<std::pair<DWORD, std::uint64_t>> s_locked;

std::pair<DWORD, std::uint64_t> ImageOf(HANDLE device)
{
    BY_HANDLE_FILE_INFORMATION info {};
    if (!::GetFileInformationByHandle(device, &info))
        return { 0, 0 };
    return { info.dwVolumeSerialNumber, (std::uint64_t(info.nFileIndexHigh) << 32) | info.nFileIndexLow };
}

bool IsLocked(HANDLE device)
{
    std::lock_guard lock(s_lockedMutex);
    return s_locked.count(ImageOf(device)) != 0;
}

bool WriteAt(HANDLE device, std::uint64_t offset, const void* data, DWORD size)
{
    OVERLAPPED position {};
    position.Offset = static_cast<DWORD>(offset);
    position.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD done = 0;
    return ::WriteFile(device, data, size, &done, &position) && done == size;
}

bool ReadAt(HANDLE device, std::uint64_t offset, void* data, DWORD size)
{
    OVERLAPPED position {};
    position.Offset = static_cast<DWORD>(offset);
    position.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD done = 0;
    return ::ReadFile(device, data, size, &done, &position) && done == size;
}

// A fresh MBR disk: no boot code, no partition, no trace of a GPT (its header after the record,
// its backup in the disk's last sectors), the signature given.
bool WriteEmptyDisk(HANDLE device, std::uint32_t signature)
{
    LARGE_INTEGER size {};
    if (!::GetFileSizeEx(device, &size) || size.QuadPart < (2 << 20))
        return false;
    std::vector<std::uint8_t> zeros(1 << 20);
    std::uint64_t end = static_cast<std::uint64_t>(size.QuadPart);
    if (!WriteAt(device, 0, zeros.data(), static_cast<DWORD>(zeros.size()))
        || !WriteAt(device, end - zeros.size(), zeros.data(), static_cast<DWORD>(zeros.size())))
        return false;
    std::uint8_t record[kSectorSize] = {};
    PutLittle32(record + 440, signature);
    record[510] = 0x55;
    record[511] = 0xAA;
    return WriteAt(device, 0, record, kSectorSize);
}

// The layout's MBR entries into the record, as the disk driver writes them.
bool WriteMbrEntries(HANDLE device, const DRIVE_LAYOUT_INFORMATION_EX& layout, DWORD inSize)
{
    std::size_t entries = (inSize - offsetof(DRIVE_LAYOUT_INFORMATION_EX, PartitionEntry)) / sizeof(PARTITION_INFORMATION_EX);
    if (layout.PartitionStyle != PARTITION_STYLE_MBR || layout.PartitionCount % 4 != 0 || entries < layout.PartitionCount)
        return false;
    std::uint8_t record[kSectorSize];
    if (!ReadAt(device, 0, record, kSectorSize))
        return false;
    PutLittle32(record + 440, layout.Mbr.Signature);
    for (DWORD index = 0; index < 4; ++index) {
        const PARTITION_INFORMATION_EX& partition = layout.PartitionEntry[index];
        std::uint8_t* entry = record + kFirstPartitionEntry + index * 16;
        std::memset(entry, 0, 16);
        if (partition.Mbr.PartitionType == PARTITION_ENTRY_UNUSED)
            continue;
        entry[0] = partition.Mbr.BootIndicator ? 0x80 : 0x00;
        entry[4] = partition.Mbr.PartitionType;
        PutLittle32(entry + 8, static_cast<std::uint32_t>(partition.StartingOffset.QuadPart / kSectorSize));
        PutLittle32(entry + 12, static_cast<std::uint32_t>(partition.PartitionLength.QuadPart / kSectorSize));
    }
    return WriteAt(device, 0, record, kSectorSize);
}

} // namespace

bool TestSticks::Answer(HANDLE device, DWORD code, void* in, DWORD inSize, void* out, DWORD outSize, DWORD* returned)
{
    *returned = 0;
    switch (code) {
    case FSCTL_LOCK_VOLUME: {
        std::lock_guard lock(s_lockedMutex);
        s_locked.insert(ImageOf(device));
        return true;
    }
    case FSCTL_UNLOCK_VOLUME: {
        std::lock_guard lock(s_lockedMutex);
        s_locked.erase(ImageOf(device));
        return true;
    }
    case FSCTL_DISMOUNT_VOLUME:
    case FSCTL_ALLOW_EXTENDED_DASD_IO:
        return true;
    case IOCTL_DISK_CREATE_DISK:
    case IOCTL_DISK_SET_DRIVE_LAYOUT_EX:
    case IOCTL_DISK_UPDATE_PROPERTIES: {
        if (!IsLocked(device)) {
            ::SetLastError(ERROR_ACCESS_DENIED);
            return false;
        }
        bool done = true;
        if (code == IOCTL_DISK_CREATE_DISK) {
            auto* fresh = static_cast<const CREATE_DISK*>(in);
            done = fresh && inSize >= sizeof(CREATE_DISK) && fresh->PartitionStyle == PARTITION_STYLE_MBR
                && WriteEmptyDisk(device, fresh->Mbr.Signature);
        } else if (code == IOCTL_DISK_SET_DRIVE_LAYOUT_EX) {
            done = in && inSize >= sizeof(DRIVE_LAYOUT_INFORMATION_EX)
                && WriteMbrEntries(device, *static_cast<const DRIVE_LAYOUT_INFORMATION_EX*>(in), inSize);
        }
        if (!done)
            ::SetLastError(ERROR_INVALID_PARAMETER);
        return done;
    }
    case IOCTL_DISK_GET_LENGTH_INFO: {
        LARGE_INTEGER size {};
        if (!out || outSize < sizeof(GET_LENGTH_INFORMATION) || !::GetFileSizeEx(device, &size))
            break;
        GET_LENGTH_INFORMATION length {};
        length.Length = size;
        std::memcpy(out, &length, sizeof length);
        *returned = sizeof length;
        return true;
    }
    default:
        break;
    }
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

namespace {

class InstalledTestSticks final : public UsbStandIns {
public:
    bool Names(wchar_t letter) override { return TestSticks::Names(letter); }
    BOOL Answer(HANDLE device, DWORD code, void* in, DWORD inSize, void* out, DWORD outSize, DWORD* returned) override
    {
        return TestSticks::Answer(device, code, in, inSize, out, outSize, returned) ? TRUE : FALSE;
    }
    std::optional<Disk> DiskUnder(wchar_t letter) override { return TestSticks::DiskUnder(letter); }
};

// Installed before main runs, so the program meets them from its first drive probe on.
const bool s_installed = [] {
    static InstalledTestSticks standIns;
    UsbStandIns::Install(standIns);
    return true;
}();

} // namespace

} // namespace platform::win32
