#include "platform/win32/DiskLayout.h"

#include "platform/Drives.h"
#include "platform/disk/MasterBootRecord.h"
#include "platform/disk/StickPartition.h"
#include "platform/files/Utf8.h"
#include "platform/win32/UniqueHandle.h"
#include "platform/win32/UsbStandIns.h"
#include "platform/win32/Volume.h"

#include <winioctl.h>

#include <memory>
#include <vector>

namespace platform::win32 {

namespace {

constexpr std::uint32_t kClusterSize = 4096;
constexpr DWORD kMbrEntries = 4;
constexpr DWORD kVolumeWaitMilliseconds = 30000;
constexpr DWORD kVolumeWaitStep = 250;

// A stand-in's drive answers through the stand-in, as its probe does.
class StandInCalls final : public DeviceCalls {
public:
    explicit StandInCalls(UsbStandIns& standIn)
        : m_standIn(standIn)
    {
    }
    BOOL Control(HANDLE handle, DWORD code, void* in, DWORD inSize, void* out, DWORD outSize, DWORD* returned) override
    {
        return m_standIn.Answer(handle, code, in, inSize, out, outSize, returned);
    }

private:
    UsbStandIns& m_standIn;
};

std::string Error(const std::string& what)
{
    return what + " (error " + std::to_string(::GetLastError()) + ")";
}

std::wstring VolumePath(wchar_t letter)
{
    return L"\\\\.\\" + std::wstring(1, letter) + L":";
}

// The number of the disk under a drive's volume, asked without access rights.
bool DiskNumberOf(wchar_t letter, DWORD& number)
{
    UniqueHandle volume(::CreateFileW(VolumePath(letter).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
        OPEN_EXISTING, 0, nullptr));
    STORAGE_DEVICE_NUMBER device {};
    DWORD returned = 0;
    if (!volume
        || !::DeviceIoControl(volume.Get(), IOCTL_STORAGE_GET_DEVICE_NUMBER, nullptr, 0, &device, sizeof device, &returned, nullptr)
        || device.DeviceType != FILE_DEVICE_DISK)
        return false;
    number = device.DeviceNumber;
    return true;
}

// Where a drive's volume starts on its disk; -1 when the system does not say.
LONGLONG VolumeStart(wchar_t letter)
{
    UniqueHandle volume(::CreateFileW(VolumePath(letter).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
        OPEN_EXISTING, 0, nullptr));
    PARTITION_INFORMATION_EX partition {};
    DWORD returned = 0;
    if (!volume
        || !::DeviceIoControl(volume.Get(), IOCTL_DISK_GET_PARTITION_INFO_EX, nullptr, 0, &partition, sizeof partition,
            &returned, nullptr))
        return -1;
    return partition.StartingOffset.QuadPart;
}

} // namespace

DiskLayout::DiskLayout(wchar_t letter)
    : m_letter(DriveLetterOf(letter))
{
}

DeviceCalls& DiskLayout::CallsFor(wchar_t letter) const
{
    UsbStandIns* standIn = UsbStandIns::For(letter);
    if (!standIn)
        return DeviceCalls::System();
    static StandInCalls standInCalls(*standIn);
    return standInCalls;
}

// A stand-in's disk is its own device (an image file holding a whole disk).
bool DiskLayout::FindDisk(Disk& disk, std::string& error) const
{
    if (UsbStandIns::For(m_letter)) {
        disk.path = VolumePath(m_letter);
        return true;
    }
    DWORD number = 0;
    if (!DiskNumberOf(m_letter, number)) {
        error = Error("can't find the disk under drive " + ToUtf8(std::wstring(1, m_letter)) + ":");
        return false;
    }
    disk.number = number;
    disk.path = L"\\\\.\\PhysicalDrive" + std::to_wstring(number);
    return true;
}

// Every lettered volume on the disk, the chosen one included.
std::wstring DiskLayout::LettersOfDisk(const Disk& disk) const
{
    if (UsbStandIns::For(m_letter))
        return std::wstring(1, m_letter);
    std::wstring letters;
    DWORD mask = ::GetLogicalDrives();
    for (int bit = 0; bit < 26; ++bit) {
        wchar_t letter = static_cast<wchar_t>(L'A' + bit);
        DWORD number = 0;
        if ((mask & (1u << bit)) && DiskNumberOf(letter, number) && number == disk.number)
            letters += letter;
    }
    return letters;
}

LayoutOutcome DiskLayout::Run(std::string& error)
{
    Disk disk;
    if (!FindDisk(disk, error))
        return LayoutOutcome::Failed;
    {
        // Nobody may use a volume of the disk while its partition table changes under it.
        std::vector<std::unique_ptr<Volume>> held;
        for (wchar_t letter : LettersOfDisk(disk)) {
            auto volume = Volume::Open(letter, error, CallsFor(letter));
            if (!volume)
                return LayoutOutcome::Failed;
            if (!volume->HoldForFormat(error))
                return volume->InUse() ? LayoutOutcome::InUse : LayoutOutcome::Failed;
            held.push_back(std::move(volume));
        }
        DeviceCalls& calls = CallsFor(m_letter);
        UniqueHandle device(::CreateFileW(disk.path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
            nullptr, OPEN_EXISTING, 0, nullptr));
        if (!device) {
            error = Error("can't open " + ToUtf8(disk.path) + " for writing");
            return LayoutOutcome::Failed;
        }
        LayoutOutcome written = WriteLayout(device.Get(), calls, error);
        if (written != LayoutOutcome::Done)
            return written;
    } // the volumes are unlocked and closed: the system mounts the new one
    return WaitForVolume(disk, error) ? LayoutOutcome::Done : LayoutOutcome::Failed;
}

LayoutOutcome DiskLayout::WriteLayout(HANDLE disk, DeviceCalls& calls, std::string& error) const
{
    DWORD returned = 0;
    GET_LENGTH_INFORMATION length {};
    DISK_GEOMETRY geometry {};
    if (!calls.Control(disk, IOCTL_DISK_GET_LENGTH_INFO, nullptr, 0, &length, sizeof length, &returned)
        || !calls.Control(disk, IOCTL_DISK_GET_DRIVE_GEOMETRY, nullptr, 0, &geometry, sizeof geometry, &returned)) {
        error = Error("can't measure the stick's disk");
        return LayoutOutcome::Failed;
    }
    auto plan = StickPartition::ForDisk(static_cast<std::uint64_t>(length.Length.QuadPart), geometry.BytesPerSector,
        kClusterSize);
    if (plan.size == 0 || geometry.BytesPerSector == 0) {
        error = "the stick's disk is too small for a partition";
        return LayoutOutcome::Failed;
    }

    CREATE_DISK fresh {};
    fresh.PartitionStyle = PARTITION_STYLE_MBR;
    fresh.Mbr.Signature = MasterBootRecord::NewDiskSignature();
    if (!calls.Control(disk, IOCTL_DISK_CREATE_DISK, &fresh, sizeof fresh, nullptr, 0, &returned)) {
        bool locked = ::GetLastError() == ERROR_WRITE_PROTECT;
        error = Error("the system refuses a new partition table on the stick");
        return locked ? LayoutOutcome::WriteProtected : LayoutOutcome::Failed;
    }

    // The structure ends in one entry; an MBR layout gives all four.
    std::vector<BYTE> buffer(sizeof(DRIVE_LAYOUT_INFORMATION_EX) + (kMbrEntries - 1) * sizeof(PARTITION_INFORMATION_EX));
    auto* layout = reinterpret_cast<DRIVE_LAYOUT_INFORMATION_EX*>(buffer.data());
    layout->PartitionStyle = PARTITION_STYLE_MBR;
    layout->PartitionCount = kMbrEntries;
    layout->Mbr.Signature = fresh.Mbr.Signature;
    for (DWORD index = 0; index < kMbrEntries; ++index) {
        PARTITION_INFORMATION_EX& entry = layout->PartitionEntry[index];
        entry.PartitionStyle = PARTITION_STYLE_MBR;
        entry.RewritePartition = TRUE;
    }
    PARTITION_INFORMATION_EX& stick = layout->PartitionEntry[0];
    stick.StartingOffset.QuadPart = static_cast<LONGLONG>(plan.offset);
    stick.PartitionLength.QuadPart = static_cast<LONGLONG>(plan.size);
    stick.PartitionNumber = 1;
    stick.Mbr.PartitionType = PARTITION_FAT32_XINT13;
    stick.Mbr.RecognizedPartition = TRUE;
    stick.Mbr.HiddenSectors = static_cast<DWORD>(plan.offset / geometry.BytesPerSector);
    if (!calls.Control(disk, IOCTL_DISK_SET_DRIVE_LAYOUT_EX, layout, static_cast<DWORD>(buffer.size()), nullptr, 0, &returned)) {
        error = Error("the system refuses the stick's new partition");
        return LayoutOutcome::Failed;
    }
    // On the disk's own handle: the system reads the new table before the volumes are let go.
    if (!calls.Control(disk, IOCTL_DISK_UPDATE_PROPERTIES, nullptr, 0, nullptr, 0, &returned)) {
        error = Error("the system does not read the stick's new partition table");
        return LayoutOutcome::Failed;
    }
    return LayoutOutcome::Done;
}

// The new volume: on the same disk, starting at 1 MiB, under whatever letter it gets.
bool DiskLayout::WaitForVolume(const Disk& disk, std::string& error)
{
    if (UsbStandIns::For(m_letter))
        return true;
    for (DWORD waited = 0; waited < kVolumeWaitMilliseconds; waited += kVolumeWaitStep) {
        for (wchar_t letter : LettersOfDisk(disk)) {
            if (VolumeStart(letter) == static_cast<LONGLONG>(StickPartition::kAlignment)) {
                m_letter = letter;
                return true;
            }
        }
        ::Sleep(kVolumeWaitStep);
    }
    error = "the stick's new volume did not appear";
    return false;
}

} // namespace platform::win32
