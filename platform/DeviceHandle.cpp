#include "platform/Drives.h"

#include <utility>

namespace platform {

DeviceHandle::DeviceHandle(DeviceHandle&& other) noexcept
    : m_native(std::exchange(other.m_native, kInvalid))
    , m_letter(std::exchange(other.m_letter, 0))
{
}

DeviceHandle& DeviceHandle::operator=(DeviceHandle&& other) noexcept
{
    if (this == &other)
        return *this;
    if (IsValid())
        CloseDevice(m_native);
    m_native = std::exchange(other.m_native, kInvalid);
    m_letter = std::exchange(other.m_letter, 0);
    return *this;
}

DeviceHandle::~DeviceHandle()
{
    if (IsValid())
        CloseDevice(m_native);
}

} // namespace platform
