#include "platform/win32/VolumeSectorDevice.h"

#include <algorithm>

namespace platform::win32 {

namespace {

constexpr std::size_t kLargestTransfer = 64 * 1024 * 1024;

} // namespace

VolumeSectorDevice::VolumeSectorDevice(HANDLE handle, std::uint64_t size, std::uint32_t sectorSize, DeviceCalls& calls)
    : m_handle(handle)
    , m_calls(calls)
    , m_size(size - size % sectorSize)
    , m_sectorSize(sectorSize)
{
}

// Positioned transfers: the offset travels in the OVERLAPPED record of a synchronous handle.
template<typename Buffer, typename Call>
bool VolumeSectorDevice::Transfer(std::uint64_t offset, Buffer* data, std::size_t size, Call call)
{
    if (offset % m_sectorSize || size % m_sectorSize || offset > m_size || size > m_size - offset)
        return false;
    while (size > 0) {
        OVERLAPPED position {};
        position.Offset = static_cast<DWORD>(offset);
        position.OffsetHigh = static_cast<DWORD>(offset >> 32);
        DWORD chunk = static_cast<DWORD>(std::min(size, kLargestTransfer));
        DWORD done = 0;
        if (!call(m_handle, data, chunk, &done, &position) || done == 0)
            return false;
        data += done;
        size -= done;
        offset += done;
    }
    return true;
}

bool VolumeSectorDevice::Read(std::uint64_t offset, std::uint8_t* data, std::size_t size)
{
    return Transfer(offset, data, size, [this](HANDLE handle, std::uint8_t* buffer, DWORD chunk, DWORD* done, OVERLAPPED* position) {
        return m_calls.Read(handle, buffer, chunk, done, position);
    });
}

bool VolumeSectorDevice::Write(std::uint64_t offset, const std::uint8_t* data, std::size_t size)
{
    return Transfer(offset, data, size, [this](HANDLE handle, const std::uint8_t* buffer, DWORD chunk, DWORD* done, OVERLAPPED* position) {
        return m_calls.Write(handle, buffer, chunk, done, position);
    });
}

bool VolumeSectorDevice::Flush()
{
    return ::FlushFileBuffers(m_handle) != FALSE;
}

} // namespace platform::win32
