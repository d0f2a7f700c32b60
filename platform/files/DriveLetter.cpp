// Drive letters in paths, the same on every system.
#include "platform/Drives.h"


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

} // namespace platform
