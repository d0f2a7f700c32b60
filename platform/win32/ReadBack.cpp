#include "platform/win32/ReadBack.h"

#include "platform/Drives.h"
#include "platform/disk/AlignedBuffer.h"
#include "platform/files/Utf8.h"
#include "platform/win32/UsbStandIns.h"
#include "platform/win32/UnbufferedReader.h"
#include "platform/win32/UniqueHandle.h"

#include <windows.h>

#include <algorithm>
#include <cstring>

// Reading back on Windows: the stick's volume is flushed, then the copy read unbuffered, so the
// bytes come from the stick and not from the system's cache; the boot record is read from the disk
// under the volume.
namespace platform {

namespace {

constexpr DWORD kSectorLimit = 1024 * 1024;

win32::UniqueHandle OpenForReading(const std::wstring& path, DWORD flags)
{
    return win32::UniqueHandle(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
        OPEN_EXISTING, flags, nullptr));
}

// A volume handle opened for writing flushes every file of the volume (the program has the
// administrator rights that takes). The copy itself can't be opened for writing: it has the
// read-only attribute of its original on the CD.
bool FlushVolumeOf(const std::wstring& path)
{
    wchar_t letter = DriveLetterOf(path);
    if (!letter)
        return false;
    std::wstring volumePath = L"\\\\.\\" + std::wstring(1, letter) + L":";
    win32::UniqueHandle volume(::CreateFileW(volumePath.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
        nullptr, OPEN_EXISTING, 0, nullptr));
    return volume && ::FlushFileBuffers(volume.Get());
}

bool ReadSome(HANDLE file, BYTE* buffer, DWORD size, DWORD& count)
{
    count = 0;
    return ::ReadFile(file, buffer, size, &count, nullptr) != FALSE;
}

// The physical drive under the volume and where the volume starts on it.
std::optional<win32::UsbStandIns::Disk> DiskUnder(wchar_t letter)
{
    std::wstring volumePath = L"\\\\.\\" + std::wstring(1, letter) + L":";
    win32::UniqueHandle volume(::CreateFileW(volumePath.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr));
    STORAGE_DEVICE_NUMBER number {};
    PARTITION_INFORMATION_EX partition {};
    DISK_GEOMETRY geometry {};
    DWORD returned = 0;
    if (!volume
        || !::DeviceIoControl(volume.Get(), IOCTL_STORAGE_GET_DEVICE_NUMBER, nullptr, 0, &number, sizeof number, &returned, nullptr)
        || !::DeviceIoControl(volume.Get(), IOCTL_DISK_GET_PARTITION_INFO_EX, nullptr, 0, &partition, sizeof partition, &returned, nullptr)
        || !::DeviceIoControl(volume.Get(), IOCTL_DISK_GET_DRIVE_GEOMETRY, nullptr, 0, &geometry, sizeof geometry, &returned, nullptr)
        || geometry.BytesPerSector < 512 || geometry.BytesPerSector > kSectorLimit)
        return std::nullopt;
    win32::UsbStandIns::Disk disk;
    disk.path = L"\\\\.\\PhysicalDrive" + std::to_wstring(number.DeviceNumber);
    disk.volumeFirstSector = static_cast<std::uint64_t>(partition.StartingOffset.QuadPart) / geometry.BytesPerSector;
    disk.sectorSize = geometry.BytesPerSector;
    return disk;
}

} // namespace

ReadBackResult ReadBackCopy(const std::wstring& original, const std::wstring& copy, std::string& detail)
{
    if (!FlushVolumeOf(copy)) {
        detail = ToUtf8(copy) + ": can't flush it to the stick (error " + std::to_string(::GetLastError()) + ")";
        return ReadBackResult::Unreadable;
    }
    win32::UniqueHandle source = OpenForReading(original, FILE_FLAG_SEQUENTIAL_SCAN);
    win32::UniqueHandle stored = OpenForReading(copy, FILE_FLAG_NO_BUFFERING | FILE_FLAG_SEQUENTIAL_SCAN);
    LARGE_INTEGER sourceSize {};
    if (!source || !stored || !::GetFileSizeEx(source.Get(), &sourceSize)) {
        detail = ToUtf8(copy) + ": can't read it back";
        return ReadBackResult::Unreadable;
    }
    win32::UnbufferedReader reader(stored.Get());
    if (!reader.SizeKnown()) {
        detail = ToUtf8(copy) + ": can't read it back";
        return ReadBackResult::Unreadable;
    }
    if (reader.Size() != static_cast<std::uint64_t>(sourceSize.QuadPart)) {
        detail = ToUtf8(copy) + " holds " + std::to_string(reader.Size()) + " bytes, the original "
            + std::to_string(sourceSize.QuadPart);
        return ReadBackResult::Different;
    }
    AlignedBuffer expected(win32::UnbufferedReader::kPieceSize);
    while (!reader.AtEnd()) {
        std::uint64_t compared = reader.Offset();
        DWORD storedCount = 0;
        if (!reader.ReadNext(storedCount)) {
            detail = ToUtf8(copy) + ": can't read it back near byte " + std::to_string(compared);
            return ReadBackResult::Unreadable;
        }
        // The original may come in shorter pieces: gather as many bytes as the stick gave.
        DWORD sourceCount = 0;
        while (sourceCount < storedCount) {
            DWORD count = 0;
            if (!ReadSome(source.Get(), expected.Data() + sourceCount, storedCount - sourceCount, count) || count == 0)
                break;
            sourceCount += count;
        }
        if (sourceCount != storedCount || std::memcmp(expected.Data(), reader.Data(), storedCount) != 0) {
            detail = ToUtf8(copy) + " differs from the original near byte " + std::to_string(compared);
            return ReadBackResult::Different;
        }
    }
    return ReadBackResult::Same;
}

std::vector<std::uint8_t> ReadVolumeBootSector(wchar_t letter, win32::DeviceCalls& calls)
{
    letter = DriveLetterOf(letter);
    std::wstring root = std::wstring(1, letter) + L":\\";
    if (!letter || !FlushVolumeOf(root))
        return {};
    // A read of 4096 bytes keeps to the sector rules of every sector size a stick has.
    constexpr DWORD kRead = 4096;
    win32::UniqueHandle volume = OpenForReading(L"\\\\.\\" + std::wstring(1, letter) + L":", FILE_FLAG_NO_BUFFERING);
    AlignedBuffer sector(kRead);
    DWORD count = 0;
    OVERLAPPED start {};
    if (!volume || !calls.Read(volume.Get(), sector.Data(), kRead, &count, &start) || count < 512)
        return {};
    return std::vector<std::uint8_t>(sector.Data(), sector.Data() + 512);
}

bool ReadBackFromMedium(const std::wstring& path, std::string& detail, win32::DeviceCalls& calls)
{
    if (!FlushVolumeOf(path)) {
        detail = ToUtf8(path) + ": can't flush it to the stick (error " + std::to_string(::GetLastError()) + ")";
        return false;
    }
    win32::UniqueHandle file = OpenForReading(path, FILE_FLAG_NO_BUFFERING | FILE_FLAG_SEQUENTIAL_SCAN);
    if (!file) {
        detail = ToUtf8(path) + " is missing from the stick";
        return false;
    }
    win32::UnbufferedReader reader(file.Get(), calls);
    bool holdsData = false;
    while (reader.SizeKnown() && !reader.AtEnd()) {
        DWORD count = 0;
        if (!reader.ReadNext(count)) {
            detail = ToUtf8(path) + ": can't read it back near byte " + std::to_string(reader.Offset());
            return false;
        }
        const std::uint8_t* data = reader.Data();
        holdsData = holdsData || std::any_of(data, data + count, [](std::uint8_t byte) { return byte != 0; });
    }
    if (!reader.SizeKnown() || !holdsData) {
        detail = ToUtf8(path) + " is not on the stick's medium";
        return false;
    }
    return true;
}

bool ReadBackBootPieces(wchar_t letter, const std::vector<std::uint8_t>& bootSectorBefore, std::string& detail,
    win32::DeviceCalls& calls)
{
    letter = DriveLetterOf(letter);
    std::vector<std::uint8_t> bootSector = ReadVolumeBootSector(letter, calls);
    bool isBootSector = bootSector.size() == 512 && (bootSector[0] == 0xEB || bootSector[0] == 0xE9)
        && bootSector[510] == 0x55 && bootSector[511] == 0xAA;
    if (!isBootSector) {
        detail = "the boot sector of drive " + ToUtf8(std::wstring(1, letter)) + ": can't be read back";
        return false;
    }
    if (bootSector == bootSectorBefore) {
        detail = "the installer's boot code is not in the boot sector of drive " + ToUtf8(std::wstring(1, letter)) + ":";
        return false;
    }
    win32::UsbStandIns* standIn = win32::UsbStandIns::For(letter);
    auto disk = standIn ? standIn->DiskUnder(letter) : DiskUnder(letter);
    if (!disk) {
        detail = "can't find the disk under drive " + ToUtf8(std::wstring(1, letter)) + ":";
        return false;
    }
    win32::UniqueHandle device = OpenForReading(disk->path, FILE_FLAG_NO_BUFFERING);
    AlignedBuffer sector(disk->sectorSize);
    DWORD count = 0;
    if (!device || !ReadSome(device.Get(), sector.Data(), disk->sectorSize, count) || count != disk->sectorSize) {
        detail = "can't read the boot record of " + ToUtf8(disk->path);
        return false;
    }
    if (!CheckBootRecord(sector.Data(), count, disk->volumeFirstSector, detail))
        return false;
    return ReadBackFromMedium(std::wstring(1, letter) + L":\\ldlinux.sys", detail, calls);
}

} // namespace platform
