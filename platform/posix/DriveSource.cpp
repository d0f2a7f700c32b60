#include "platform/Drives.h"

#include "platform/Utf8.h"
#include "platform/posix/DriveTable.h"

namespace platform {

std::wstring DescribeDriveSource(wchar_t letter)
{
    if (letter < L'A' || letter > L'Z')
        return {};
    auto drive = posix::DriveTable::Instance().Find(static_cast<char>(letter));
    return drive ? FromUtf8(drive->path) : std::wstring();
}

} // namespace platform
