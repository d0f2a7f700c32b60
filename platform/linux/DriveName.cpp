#include "platform/Drives.h"

#include "platform/files/Utf8.h"
#include "platform/linux/DriveTable.h"

namespace platform {

DriveName NameDrive(wchar_t letter)
{
    letter = DriveLetterOf(letter);
    auto drive = letter ? posix::DriveTable::Instance().Find(static_cast<char>(letter)) : std::nullopt;
    if (!drive)
        return {};
    DriveName name;
    name.location = FromUtf8(drive->path);
    // A virtual stick is its file; the vendor and model it reports are our own invention.
    if (drive->kind == posix::DriveInfo::Kind::BlockDevice) {
        std::string model = drive->vendor;
        if (!drive->product.empty())
            model += (model.empty() ? "" : " ") + drive->product;
        name.model = FromUtf8(model);
    }
    return name;
}

} // namespace platform
