#pragma once

#include "platform/win32/UniqueHandle.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace platform::win32 {

// A volume opened for raw reads and writes ("\\.\E:"), what the system says about it, and the
// exclusive lock a format needs. Unlocked and closed when it goes.
class Volume {
public:
    struct Partition {
        std::uint64_t startOffset = 0;
        bool isMbr = false;
        std::uint8_t mbrType = 0;
    };

    // Null, with the reason in `error`, when the volume can't be opened for writing.
    static std::unique_ptr<Volume> Open(wchar_t letter, std::string& error);
    Volume(UniqueHandle handle, std::wstring path);
    ~Volume();
    Volume(const Volume&) = delete;
    Volume& operator=(const Volume&) = delete;

    // IOCTL_DISK_GET_LENGTH_INFO; for a drive that is an image file (as wine can map one), its size.
    std::optional<std::uint64_t> Length() const;
    // 512 when the device does not say.
    std::uint32_t SectorSize() const;
    std::optional<Partition> PartitionInfo() const;

    // Nobody else may have the volume open; the file system forgets what it had cached.
    bool LockAndDismount(std::string& error);
    void Unlock();
    bool SetMbrPartitionType(std::uint8_t type, std::string& error);

    HANDLE Handle() const { return m_handle.Get(); }
    std::string Name() const;

private:
    bool Control(DWORD code, const void* in, DWORD inSize, void* out, DWORD outSize) const;
    std::string Failure(const char* what) const;

    UniqueHandle m_handle;
    std::wstring m_path;
    bool m_locked = false;
};

} // namespace platform::win32
