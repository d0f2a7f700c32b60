#include "platform/win32/Volume.h"

#include "platform/files/Utf8.h"

#include <winioctl.h>

namespace platform::win32 {

namespace {

constexpr DWORD kLockRetryMilliseconds = 250;

} // namespace

std::unique_ptr<Volume> Volume::Open(wchar_t letter, std::string& error, DeviceCalls& calls)
{
    std::wstring path = L"\\\\.\\";
    path += letter;
    path += L':';
    UniqueHandle handle(calls.OpenVolume(path));
    if (!handle) {
        error = "can't open " + ToUtf8(path) + " (error " + std::to_string(::GetLastError()) + ")";
        return nullptr;
    }
    return std::make_unique<Volume>(std::move(handle), std::move(path), calls);
}

Volume::Volume(UniqueHandle handle, std::wstring path, DeviceCalls& calls)
    : m_handle(std::move(handle))
    , m_path(std::move(path))
    , m_calls(calls)
{
}

Volume::~Volume()
{
    Unlock();
}

std::string Volume::Name() const
{
    return ToUtf8(m_path.substr(4));
}

bool Volume::Control(DWORD code, const void* in, DWORD inSize, void* out, DWORD outSize) const
{
    DWORD returned = 0;
    return m_calls.Control(m_handle.Get(), code, const_cast<void*>(in), inSize, out, outSize, &returned) != FALSE;
}

std::string Volume::Failure(const char* what) const
{
    return std::string("can't ") + what + " " + Name() + " (error " + std::to_string(::GetLastError()) + ")";
}

std::optional<std::uint64_t> Volume::Length() const
{
    GET_LENGTH_INFORMATION length {};
    if (Control(IOCTL_DISK_GET_LENGTH_INFO, nullptr, 0, &length, sizeof length))
        return static_cast<std::uint64_t>(length.Length.QuadPart);
    LARGE_INTEGER size {};
    if (::GetFileSizeEx(m_handle.Get(), &size))
        return static_cast<std::uint64_t>(size.QuadPart);
    return std::nullopt;
}

std::uint32_t Volume::SectorSize() const
{
    DISK_GEOMETRY geometry {};
    if (Control(IOCTL_DISK_GET_DRIVE_GEOMETRY, nullptr, 0, &geometry, sizeof geometry) && geometry.BytesPerSector)
        return geometry.BytesPerSector;
    return 512;
}

std::optional<Volume::Partition> Volume::PartitionInfo() const
{
    PARTITION_INFORMATION_EX info {};
    if (!Control(IOCTL_DISK_GET_PARTITION_INFO_EX, nullptr, 0, &info, sizeof info))
        return std::nullopt;
    Partition partition;
    partition.startOffset = static_cast<std::uint64_t>(info.StartingOffset.QuadPart);
    partition.isMbr = info.PartitionStyle == PARTITION_STYLE_MBR;
    if (partition.isMbr)
        partition.mbrType = info.Mbr.PartitionType;
    return partition;
}

bool Volume::TryLock(DWORD patience)
{
    for (DWORD waited = 0; !m_locked; waited += kLockRetryMilliseconds) {
        m_locked = Control(FSCTL_LOCK_VOLUME, nullptr, 0, nullptr, 0);
        if (m_locked || waited >= patience)
            break;
        ::Sleep(kLockRetryMilliseconds);
    }
    return m_locked;
}

bool Volume::HoldForFormat(std::string& error)
{
    m_inUse = false;
    // Without it the handle keeps to the old file system's size, which may end well before the
    // partition (a FAT32 made elsewhere, NTFS and its backup boot sector): later writes fall short.
    // A device that refuses it may have no such limit; the format tries the volume's end first.
    m_extendedIo = Control(FSCTL_ALLOW_EXTENDED_DASD_IO, nullptr, 0, nullptr, 0);
    // A lock refused right after the stick appeared is Explorer or a scanner looking at it.
    if (!TryLock(m_lockPatience)) {
        // A dismount without the lock takes the volume from under its users; their handles fail
        // from now on, this one too. A fresh handle, opened before anyone opens the volume
        // again, gets the lock; the dismount below then happens under it.
        Dismount();
        UniqueHandle fresh(m_calls.OpenVolume(m_path));
        bool reopened = static_cast<bool>(fresh);
        if (reopened) {
            m_handle = std::move(fresh);
            m_extendedIo = Control(FSCTL_ALLOW_EXTENDED_DASD_IO, nullptr, 0, nullptr, 0);
        }
        if (!reopened || !TryLock(kLockRetryMilliseconds * 4)) {
            m_inUse = true;
            error = Name() + " is in use by another program, even after a dismount (the lock fails with error "
                + std::to_string(::GetLastError()) + "): close what uses it and start again";
            return false;
        }
    }
    if (!Dismount()) {
        error = Failure("dismount");
        return false;
    }
    return true;
}

bool Volume::Dismount()
{
    return Control(FSCTL_DISMOUNT_VOLUME, nullptr, 0, nullptr, 0);
}

void Volume::Release()
{
    if (m_locked)
        Dismount();
    Unlock();
}

void Volume::Unlock()
{
    if (m_locked)
        Control(FSCTL_UNLOCK_VOLUME, nullptr, 0, nullptr, 0);
    m_locked = false;
}

bool Volume::SetMbrPartitionType(std::uint8_t type, std::string& error)
{
    SET_PARTITION_INFORMATION_EX info {};
    info.PartitionStyle = PARTITION_STYLE_MBR;
    info.Mbr.PartitionType = type;
    if (!Control(IOCTL_DISK_SET_PARTITION_INFO_EX, &info, sizeof info, nullptr, 0)) {
        error = Failure("set the partition type of");
        return false;
    }
    return true;
}

bool Volume::UpdateDiskProperties(std::string& error)
{
    if (Control(IOCTL_DISK_UPDATE_PROPERTIES, nullptr, 0, nullptr, 0))
        return true;
    error = Failure("make the system read the partition table again for");
    return false;
}

} // namespace platform::win32
