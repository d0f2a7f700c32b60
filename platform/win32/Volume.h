#pragma once

#include "platform/win32/DeviceCalls.h"
#include "platform/win32/UniqueHandle.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace platform::win32 {

// A volume opened for raw reads and writes ("\\.\E:"), what the system says about it, and the
// exclusive lock a format needs. Unlocked and closed when it goes. Every control goes through
// `calls`, the system's unless a test stands in for the device.
class Volume {
public:
    struct Partition {
        std::uint64_t startOffset = 0;
        bool isMbr = false;
        std::uint8_t mbrType = 0;
    };

    // Null, with the reason in `error`, when the volume can't be opened for writing.
    static std::unique_ptr<Volume> Open(wchar_t letter, std::string& error, DeviceCalls& calls = DeviceCalls::System());
    Volume(UniqueHandle handle, std::wstring path, DeviceCalls& calls = DeviceCalls::System());
    ~Volume();
    Volume(const Volume&) = delete;
    Volume& operator=(const Volume&) = delete;

    // IOCTL_DISK_GET_LENGTH_INFO; for a drive that is an image file (as wine can map one), its size.
    std::optional<std::uint64_t> Length() const;
    // 512 when the device does not say.
    std::uint32_t SectorSize() const;
    std::optional<Partition> PartitionInfo() const;

    // Ready for writing the whole volume: reads and writes may go past the old file system's end
    // (up to the partition's), nobody else has the volume open, and its file system is dismounted.
    // A volume held by another program (Explorer, an indexer, a virus scanner) is waited for, then
    // dismounted under it, opened afresh and locked, and dismounted again under the lock, as the
    // system's format does; false when it stays in use (InUse()).
    bool HoldForFormat(std::string& error);
    // Whether the last hold failed because other programs kept the volume.
    bool InUse() const { return m_inUse; }
    // How long a refused lock is tried again before the volume is dismounted under its users.
    void SetLockPatience(DWORD milliseconds) { m_lockPatience = milliseconds; }
    // Whether the device took FSCTL_ALLOW_EXTENDED_DASD_IO in the hold.
    bool AllowsExtendedIo() const { return m_extendedIo; }
    void Unlock();
    // After writing the volume: dismounted while still locked, then unlocked, so the system mounts
    // the new file system afresh instead of keeping what it knew of the old one.
    void Release();
    bool SetMbrPartitionType(std::uint8_t type, std::string& error);
    // After the partition table changed under the system: it reads it again.
    bool UpdateDiskProperties(std::string& error);

    HANDLE Handle() const { return m_handle.Get(); }
    DeviceCalls& Calls() const { return m_calls; }
    std::string Name() const;

private:
    bool Control(DWORD code, const void* in, DWORD inSize, void* out, DWORD outSize) const;
    bool TryLock(DWORD patience);
    bool Dismount();
    std::string Failure(const char* what) const;

    UniqueHandle m_handle;
    std::wstring m_path;
    DeviceCalls& m_calls;
    DWORD m_lockPatience = 5000;
    bool m_locked = false;
    bool m_extendedIo = false;
    bool m_inUse = false;
};

} // namespace platform::win32
