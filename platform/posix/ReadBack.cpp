#include "platform/ReadBack.h"

#include "platform/Drives.h"
#include "platform/posix/FatFileWriter.h"
#include "platform/posix/PositionedIo.h"
#include "platform/posix/StickDrive.h"
#include "platform/posix/UniqueFd.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <vector>

// Reading back on POSIX: the held stick is flushed and its cached pages dropped, then its files
// are read through mtools and its boot record through the hold.
namespace platform {

ReadBackResult ReadBackCopy(const std::wstring& original, const std::wstring& copy, std::string& detail)
{
    auto sourcePath = ToNativePath(original);
    posix::UniqueFd source(sourcePath.empty() ? -1 : ::open(sourcePath.c_str(), O_RDONLY | O_CLOEXEC));
    struct stat info {};
    if (!source || ::fstat(source.Get(), &info) != 0 || !S_ISREG(info.st_mode)) {
        detail = "can't read the original " + sourcePath;
        return ReadBackResult::Unreadable;
    }
    char letter = posix::StickDrive::LetterOf(copy);
    if (!posix::StickDrive::IsStickLetter(letter)) {
        detail = "the copy is not on a stick";
        return ReadBackResult::Unreadable;
    }
    auto stick = posix::StickDrive::Volume(letter, detail);
    if (!stick || !stick->disk->FlushAndForget(detail))
        return ReadBackResult::Unreadable;
    posix::FatFileWriter files(stick->volume);
    return files.Compare(source.Get(), static_cast<std::uint64_t>(info.st_size), posix::StickDrive::PathBelowRoot(copy), detail);
}

bool ReadBackBootPieces(wchar_t letter, std::string& detail)
{
    auto stick = posix::StickDrive::Volume(static_cast<char>(DriveLetterOf(letter)), detail);
    if (!stick || !stick->disk->FlushAndForget(detail))
        return false;
    std::vector<std::uint8_t> sector(std::max<std::uint32_t>(stick->volume.sectorSize, 512));
    if (!posix::ReadFully(stick->disk->Fd(), sector.data(), sector.size(), 0)) {
        detail = std::string("can't read the boot record: ") + std::strerror(errno);
        return false;
    }
    if (!CheckBootRecord(sector.data(), sector.size(), stick->volume.PartitionFirstSector(), detail))
        return false;
    if (!posix::FatFileWriter(stick->volume).Exists("ldlinux.sys")) {
        detail = "ldlinux.sys is missing from the stick";
        return false;
    }
    return true;
}

} // namespace platform
