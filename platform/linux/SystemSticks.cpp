#include "platform/linux/SystemSticks.h"

#include "platform/files/Utf8.h"
#include "platform/linux/ChildProcess.h"
#include "platform/linux/DriveTable.h"
#include "platform/linux/StickHold.h"

#include <sys/stat.h>

namespace platform {

Sticks& Sticks::System()
{
    static linux::SystemSticks sticks;
    return sticks;
}

namespace linux {

namespace {

// A drive's geometry as the system's disk drivers make one up for a USB stick.
constexpr std::uint32_t kTracksPerCylinder = 255;
constexpr std::uint32_t kSectorsPerTrack = 63;

// What the job runs: the formatter, the copies and read-backs, and what the boot-loader
// installer itself runs on the volume (mattrib, mcopy, mmove).
struct Package {
    const char* name;
    std::vector<const char*> programs;
};
const Package kJobPackages[] = {
    { "dosfstools", { "mkfs.fat" } },
    { "mtools", { "mattrib", "mcopy", "mdel", "mdir", "mmove", "mtype" } },
};

// Whether the drive's image file or disk node is there as a volume: a block device or a regular
// file. Nothing is opened, so a user who may not open a disk still sees it listed (its job asks
// for the rights), and a FIFO put in a stick's place can't hang the listing.
bool IsVolume(const DriveInfo& drive)
{
    struct stat info {};
    return ::stat(drive.path.c_str(), &info) == 0 && (S_ISBLK(info.st_mode) || S_ISREG(info.st_mode));
}

DriveGeometry GeometryOf(const DriveInfo& drive)
{
    DriveGeometry geometry;
    geometry.tracksPerCylinder = kTracksPerCylinder;
    geometry.sectorsPerTrack = kSectorsPerTrack;
    geometry.bytesPerSector = drive.logicalSectorSize;
    geometry.cylinders = static_cast<std::int64_t>(drive.sizeBytes / (std::uint64_t(kTracksPerCylinder) * kSectorsPerTrack * drive.logicalSectorSize));
    return geometry;
}

} // namespace

std::vector<DriveFacts> SystemSticks::ListDrives()
{
    DriveTable& table = DriveTable::Instance();
    table.Rescan();
    std::vector<DriveFacts> drives;
    for (const DriveInfo& drive : table.Drives()) {
        DriveFacts facts;
        facts.letter = static_cast<wchar_t>(drive.letter);
        facts.type = drive.type;
        // The CD root is a folder, not a volume.
        if (facts.IsCandidate() && drive.kind != DriveInfo::Kind::CdRoot && IsVolume(drive)) {
            facts.opened = true;
            facts.queried = drive.logicalSectorSize != 0;
            if (facts.queried) {
                facts.bus = drive.busType;
                facts.geometry = GeometryOf(drive);
                facts.writeProtected = drive.readOnly;
            }
        }
        if (facts.IsUsbDrive()) {
            facts.name = NameDrive(facts.letter);
            facts.identity = FromUtf8(drive.identity);
        }
        drives.push_back(std::move(facts));
    }
    return drives;
}

bool SystemSticks::IsDriveStill(wchar_t letter, const std::wstring& identity)
{
    return platform::IsDriveStill(letter, identity);
}

StickHoldResult SystemSticks::Hold(wchar_t letter, const std::wstring& identity)
{
    return StickHold::Acquire(static_cast<char>(DriveLetterOf(letter)), ToUtf8(identity));
}

std::vector<std::string> SystemSticks::MissingTools()
{
    std::vector<std::string> missing;
    for (const Package& package : kJobPackages) {
        std::string programs;
        for (const char* program : package.programs) {
            if (ChildProcess::FindProgram(program).empty())
                programs += (programs.empty() ? "" : ", ") + std::string(program);
        }
        if (!programs.empty())
            missing.push_back(programs + " (" + package.name + ")");
    }
    return missing;
}

// Found only when it is an executable file, as the installer's run needs it.
std::wstring SystemSticks::FindInstaller(const std::wstring& program)
{
    std::string native = ToNativePath(program);
    if (native.empty() || ChildProcess::FindProgram(native).empty())
        return {};
    return program;
}

std::string SystemSticks::SourceFilePath(const std::wstring& drivePath)
{
    return ToNativePath(drivePath);
}

} // namespace linux

} // namespace platform
