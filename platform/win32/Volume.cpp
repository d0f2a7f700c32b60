#include "platform/win32/Volume.h"

#include "platform/Utf8.h"

#include <winioctl.h>

namespace platform::win32 {

namespace {

constexpr int kLockAttempts = 5;
constexpr DWORD kLockRetryMilliseconds = 200;

} // namespace

std::unique_ptr<Volume> Volume::Open(wchar_t letter, std::string& error)
{
    std::wstring path = L"\\\\.\\";
    path += letter;
    path += L':';
    // Unbuffered, so every write reaches the stick in the order made; buffers must be aligned.
    UniqueHandle handle(::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
        nullptr, OPEN_EXISTING, FILE_FLAG_NO_BUFFERING | FILE_FLAG_WRITE_THROUGH, nullptr));
    if (!handle) {
        error = "can't open " + ToUtf8(path) + " (error " + std::to_string(::GetLastError()) + ")";
        return nullptr;
    }
    return std::make_unique<Volume>(std::move(handle), std::move(path));
}

Volume::Volume(UniqueHandle handle, std::wstring path)
    : m_handle(std::move(handle))
    , m_path(std::move(path))
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
    return ::DeviceIoControl(m_handle.Get(), code, const_cast<void*>(in), inSize, out, outSize, &returned, nullptr) != FALSE;
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

bool Volume::LockAndDismount(std::string& error)
{
    // Explorer or a virus scanner may hold the volume for a moment after it appeared.
    for (int attempt = 0; !m_locked && attempt < kLockAttempts; ++attempt) {
        if (attempt)
            ::Sleep(kLockRetryMilliseconds);
        m_locked = Control(FSCTL_LOCK_VOLUME, nullptr, 0, nullptr, 0);
    }
    if (!m_locked) {
        error = Failure("lock");
        return false;
    }
    if (!Control(FSCTL_DISMOUNT_VOLUME, nullptr, 0, nullptr, 0)) {
        error = Failure("dismount");
        return false;
    }
    return true;
}

void Volume::Unlock()
{
    if (m_locked)
        Control(FSCTL_UNLOCK_VOLUME, nullptr, 0, nullptr, 0);
    m_locked = false;
}

bool Volume::SetMbrPartitionType(std::uint8_t type, std::string& error)
{
    SET_PARTITION_INFORMATION info {};
    info.PartitionType = type;
    if (Control(IOCTL_DISK_SET_PARTITION_INFO, &info, sizeof info, nullptr, 0))
        return true;
    error = Failure("set the partition type of");
    return false;
}

} // namespace platform::win32
