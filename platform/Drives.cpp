// The portable part of the drive calls: drive letters in paths and the handle's ownership.
#include "platform/Drives.h"

#include <utility>

namespace platform {

wchar_t DriveLetterOf(const std::wstring& path)
{
    size_t start = path.rfind(L"\\\\?\\", 0) == 0 || path.rfind(L"\\\\.\\", 0) == 0 ? 4 : 0;
    if (path.size() < start + 2 || path[start + 1] != L':')
        return 0;
    return DriveLetterOf(path[start]);
}

wchar_t DriveLetterOf(wchar_t letter)
{
    if (letter >= L'a' && letter <= L'z')
        letter = static_cast<wchar_t>(letter - L'a' + L'A');
    return letter >= L'A' && letter <= L'Z' ? letter : 0;
}

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
