#pragma once

#include "platform/disk/SectorDevice.h"
#include "platform/win32/DeviceCalls.h"

#include <windows.h>

namespace platform::win32 {

// A sector device over an open handle: a volume opened unbuffered ("\\.\E:"), or a file.
// The handle is borrowed; the transfers go through `calls`.
class VolumeSectorDevice : public SectorDevice {
public:
    VolumeSectorDevice(HANDLE handle, std::uint64_t size, std::uint32_t sectorSize, DeviceCalls& calls = DeviceCalls::System());

    std::uint32_t SectorSize() const override { return m_sectorSize; }
    std::uint64_t Size() const override { return m_size; }
    bool Read(std::uint64_t offset, std::uint8_t* data, std::size_t size) override;
    bool Write(std::uint64_t offset, const std::uint8_t* data, std::size_t size) override;
    bool Flush() override;

private:
    template<typename Buffer, typename Call>
    bool Transfer(std::uint64_t offset, Buffer* data, std::size_t size, Call call);

    HANDLE m_handle;
    DeviceCalls& m_calls;
    std::uint64_t m_size;
    std::uint32_t m_sectorSize;
};

} // namespace platform::win32
