#include "platform/linux/StickHold.h"

#include "platform/disk/BootRecord.h"
#include "platform/files/Utf8.h"
#include "platform/linux/BootLoaderInstaller.h"
#include "platform/linux/FatFileWriter.h"
#include "platform/linux/PositionedIo.h"
#include "platform/linux/StickDrive.h"
#include "platform/linux/UniqueFd.h"
#include "platform/linux/VolumeFormatter.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <mutex>
#include <sys/stat.h>
#include <vector>

namespace platform::linux {

namespace {

std::mutex s_holdsMutex;
std::map<char, std::shared_ptr<HeldDisk>> s_holds;

std::string Narrow(const std::wstring& text)
{
    std::string narrow;
    for (wchar_t character : text)
        narrow += character < 0x80 ? static_cast<char>(character) : '_';
    return narrow;
}

// A CD file opened for reading, with its size; invalid when it is no regular file.
struct SourceFile {
    UniqueFd fd;
    std::uint64_t size = 0;
};

SourceFile OpenSource(const std::string& path)
{
    SourceFile file;
    if (path.empty())
        return file;
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    struct stat info {};
    if (!fd || ::fstat(fd.Get(), &info) != 0 || !S_ISREG(info.st_mode))
        return file;
    file.fd = std::move(fd);
    file.size = static_cast<std::uint64_t>(info.st_size);
    return file;
}

} // namespace

StickHoldResult StickHold::Acquire(char letter, const std::string& identity)
{
    StickHoldResult result;
    auto& table = DriveTable::Instance();
    table.Rescan();
    auto drive = table.Find(letter);
    if (!drive || identity.empty() || drive->identity != identity) {
        result.error = StickHoldError::NotThatDevice;
        result.detail = std::string("drive ") + (letter ? letter : '?') + ": is not the chosen stick any more";
        return result;
    }
    if (!StickDrive::IsStickLetter(drive->letter)) {
        result.error = StickHoldError::Unavailable;
        result.detail = std::string("drive ") + drive->letter + ": is not a USB stick";
        return result;
    }
    auto disk = HeldDisk::Open(*drive, table.SysfsRoot(), result.error, result.detail);
    if (!disk)
        return result;
    std::lock_guard lock(s_holdsMutex);
    if (!s_holds.emplace(drive->letter, disk).second) {
        result.error = StickHoldError::InUse;
        result.detail = std::string("drive ") + drive->letter + ": is in use by another job";
        return result;
    }
    result.stick = std::make_unique<StickHold>(drive->letter, std::move(disk));
    return result;
}

std::shared_ptr<HeldDisk> StickHold::HeldFor(char letter)
{
    std::lock_guard lock(s_holdsMutex);
    auto it = s_holds.find(letter);
    return it == s_holds.end() ? nullptr : it->second;
}

StickHold::StickHold(char letter, std::shared_ptr<HeldDisk> disk)
    : m_letter(letter)
    , m_disk(std::move(disk))
{
}

StickHold::~StickHold()
{
    std::lock_guard lock(s_holdsMutex);
    s_holds.erase(m_letter);
}

// A fresh master boot record, a full pass of zeros, and the file system made by mkfs.fat. The
// reason of a failure is the format's last text line.
FormatOutcome StickHold::Format(const FormatRequest& request, const FormatProgress& progress)
{
    auto say = [&progress](const std::string& line) {
        if (progress.text)
            progress.text(line + "\n");
    };
    std::string error;
    auto stick = StickDrive::Disk(m_letter, error);
    if (!stick) {
        say("format: " + error);
        return FormatOutcome::Failed;
    }
    if (request.clusterSize) {
        auto& volume = stick->volume;
        auto shown = volume.shownName;
        volume = StickVolume::PlannedLayout(volume.diskPath, volume.diskSize, volume.sectorSize, volume.isBlockDevice,
            request.clusterSize);
        volume.shownName = shown;
    }
    VolumeFormatter::Settings settings;
    settings.label = Narrow(request.label);
    settings.clusterSize = request.clusterSize;
    settings.quick = request.quick;
    VolumeFormatter::Listener listener;
    listener.progress = [&progress](std::uint32_t percent) { return !progress.percent || progress.percent(percent); };
    listener.output = say;
    VolumeFormatter formatter(stick->volume, settings, listener);
    if (!formatter.Run(error)) {
        say("format: " + error);
        return FormatOutcome::Failed;
    }
    return FormatOutcome::Done;
}

bool StickHold::CopyIn(const std::wstring& source, const std::wstring& name, const CopyProgress& progress)
{
    SourceFile input = OpenSource(ToNativePath(source));
    if (!input.fd)
        return false;
    std::string error;
    auto stick = StickDrive::Volume(m_letter, error);
    if (!stick) {
        std::fprintf(stderr, "copy: %s\n", error.c_str());
        return false;
    }
    FatFileWriter writer(stick->volume);
    auto path = StickDrive::PathBelowRoot(name);
    auto total = static_cast<std::int64_t>(input.size);
    auto report = [&progress, total](std::uint64_t written) { return !progress || progress(total, static_cast<std::int64_t>(written)); };
    if (!writer.Write(input.fd.Get(), input.size, path, report, error)) {
        std::fprintf(stderr, "copy: %s: %s\n", path.c_str(), error.c_str());
        return false;
    }
    return true;
}

// The held disk is flushed and its cached pages dropped, then the copy is read through mtools.
ReadBackResult StickHold::ReadBack(const std::wstring& source, const std::wstring& name, std::string& detail)
{
    auto sourcePath = ToNativePath(source);
    SourceFile original = OpenSource(sourcePath);
    if (!original.fd) {
        detail = "can't read the original " + sourcePath;
        return ReadBackResult::Unreadable;
    }
    auto stick = StickDrive::Volume(m_letter, detail);
    if (!stick || !stick->disk->FlushAndForget(detail))
        return ReadBackResult::Unreadable;
    FatFileWriter files(stick->volume);
    return files.Compare(original.fd.Get(), original.size, StickDrive::PathBelowRoot(name), detail);
}

// The CD's Linux installer on the stick's volume, forced, with the MBR code beside it (mbr.bin)
// and the partition made active.
int StickHold::InstallBootLoader(const std::wstring& program)
{
    auto installer = ToNativePath(program);
    if (installer.empty()) {
        std::fprintf(stderr, "boot loader: the installer %s is not on the CD\n", ToUtf8(program).c_str());
        return -1;
    }
    std::string error;
    auto stick = StickDrive::Volume(m_letter, error);
    if (!stick) {
        std::fprintf(stderr, "boot loader: not installed: %s\n", error.c_str());
        return 1;
    }

    BootLoaderInstaller::Settings settings;
    settings.installerPath = installer;
    auto slash = installer.find_last_of('/');
    settings.mbrCodePath = (slash == std::string::npos ? std::string() : installer.substr(0, slash + 1)) + "mbr.bin";
    settings.force = true;
    settings.writeMbr = true;
    settings.makeActive = true;

    BootLoaderInstaller bootLoader(stick->volume, settings);
    int status = bootLoader.Run([](const std::string& line) { std::printf("%s\n", line.c_str()); }, error);
    std::fflush(stdout);
    if (status != 0)
        std::fprintf(stderr, "boot loader: the installer failed: %s\n", error.c_str());
    return status;
}

bool StickHold::ReadBackBootPieces(std::string& detail)
{
    auto stick = StickDrive::Volume(m_letter, detail);
    if (!stick || !stick->disk->FlushAndForget(detail))
        return false;
    std::vector<std::uint8_t> sector(std::max<std::uint32_t>(stick->volume.sectorSize, 512));
    if (!ReadFully(stick->disk->Fd(), sector.data(), sector.size(), 0)) {
        detail = std::string("can't read the boot record: ") + std::strerror(errno);
        return false;
    }
    if (!CheckBootRecord(sector.data(), sector.size(), stick->volume.PartitionFirstSector(), detail))
        return false;
    if (!FatFileWriter(stick->volume).Exists("ldlinux.sys")) {
        detail = "ldlinux.sys is missing from the stick";
        return false;
    }
    return true;
}

} // namespace platform::linux
