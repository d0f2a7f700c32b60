#pragma once

#include "platform/Drives.h"
#include "platform/ReadBack.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

// The drives a recovery stick can be written to, and what a job does on the one it holds, in the
// program's own terms: letters, sizes, names, identities; a format with progress, a file copied
// in, a copy read back, the boot loader installed, the boot pieces read back. Each system answers
// it in its own way (platform/win32/, platform/linux/); the stick job's tests answer it with a
// fake.
namespace platform {

enum class DriveBus { Other, Usb, Sata, Nvme, Sd, Ata };

// The drive's geometry as the system reports it; a drive's size counts whole cylinders.
struct DriveGeometry {
    std::int64_t cylinders = 0;
    std::uint32_t tracksPerCylinder = 0;
    std::uint32_t sectorsPerTrack = 0;
    std::uint32_t bytesPerSector = 0;
};

// One drive letter as a listing finds it.
struct DriveFacts {
    wchar_t letter = 0;
    DriveType type = DriveType::Unknown;
    bool opened = false;  // removable or fixed, and its volume could be opened
    bool queried = false; // and the system told its bus and geometry
    DriveBus bus = DriveBus::Other;
    DriveGeometry geometry;
    // Of a USB drive, the drives a job may write; empty for any other (NameDrive names those).
    DriveName name;
    std::wstring identity;
    // The system says its medium can't be written (a lock switch, a read-only device).
    bool writeProtected = false;

    bool IsCandidate() const { return type == DriveType::Removable || type == DriveType::Fixed; }
    bool IsUsbDrive() const { return IsCandidate() && opened && queried && bus == DriveBus::Usb; }
};

struct FormatRequest {
    std::wstring label;
    std::uint32_t clusterSize = 0;
    bool quick = false;
};

// What a format tells while it runs.
struct FormatProgress {
    // Each percentage 0..100 in order; false stops the format.
    std::function<bool(std::uint32_t percent)> percent;
    // The formatter's text for the user, with its line ends, as it writes it.
    std::function<void(const std::string& text)> text;
};

enum class FormatOutcome {
    Done,
    Failed,     // the formatter reported failure
    Unfinished, // it ended without saying whether it succeeded
    WriteProtected, // it wrote nothing: the medium refuses writes
    InUse,      // it wrote nothing: programs have the volume open
};

// Bytes copied so far of a file of `total` bytes; false stops the copy.
using CopyProgress = std::function<bool(std::int64_t total, std::int64_t transferred)>;

enum class LayoutOutcome {
    Done,
    InUse,  // a volume of the disk could not be locked: programs keep it open
    WriteProtected,
    Failed, // the system refused the new layout
};

// A stick held for the length of a job: while it lives, nobody else mounts or claims it, and each
// operation reaches exactly the held device or fails. Where the system offers no such hold, the
// identity check before each step is all there is. Paths on the stick are below its root
// ("\root.lzm"); sources are drive paths ("D:\ISOLINUX\root.lzm").
class HeldStick {
public:
    virtual ~HeldStick() = default;

    // Lays the disk out anew before the format, whatever it held (no partition table, GPT, a
    // hybrid image): one MBR partition, FAT32 LBA, from 1 MiB, as StickPartition plans it. Where
    // the system mounts the new volume under another letter or as another device, `letter` and
    // `identity` name it afterwards. Where the format itself lays the disk out, there is
    // nothing to do here.
    virtual LayoutOutcome LayOut(wchar_t& /*letter*/, std::wstring& /*identity*/, std::string& /*detail*/)
    {
        return LayoutOutcome::Done;
    }
    virtual FormatOutcome Format(const FormatRequest& request, const FormatProgress& progress) = 0;
    // Replaces a file of that name; reports progress only when `progress` is given.
    virtual bool CopyIn(const std::wstring& source, const std::wstring& name, const CopyProgress& progress) = 0;
    // The copy read from the medium itself, past the caches, compared with its source.
    virtual ReadBackResult ReadBack(const std::wstring& source, const std::wstring& name, std::string& detail) = 0;
    // Runs the boot-loader installer `program` (a drive path) on the stick: forced, with boot
    // code in the master boot record and the partition made active. Its exit status; -1 when it
    // could not run.
    virtual int InstallBootLoader(const std::wstring& program) = 0;
    // Whether the stick can boot as written: boot code, exactly its partition active, the loader
    // in the volume's root.
    virtual bool ReadBackBootPieces(std::string& detail) = 0;
};

enum class StickHoldError {
    None,
    NotThatDevice, // the letter is gone or names another device now
    AccessDenied,  // this process may not write the device
    WriteProtected, // the medium can't be written
    InUse,         // programs have its volume open, or another job holds it
    Unavailable,   // anything else: in use by the system, unreadable
};

struct StickHoldResult {
    std::unique_ptr<HeldStick> stick; // null when refused
    StickHoldError error = StickHoldError::None;
    std::string detail;               // why, in one line, for the console
};

class Sticks {
public:
    virtual ~Sticks() = default;

    // This system's sticks.
    static Sticks& System();

    // Every drive letter from A upward, after one fresh look at the system.
    virtual std::vector<DriveFacts> ListDrives() = 0;
    // Whether the letter still names the device of `identity`; never for an empty identity.
    virtual bool IsDriveStill(wchar_t letter, const std::wstring& identity) = 0;
    virtual StickHoldResult Hold(wchar_t letter, const std::wstring& identity) = 0;
    // The programs a job runs that can't be found here, grouped as a person installs them
    // ("mattrib, mcopy (mtools)"); empty when all are there.
    virtual std::vector<std::string> MissingTools() = 0;
    // The file the installer `program` (a drive path) runs as; empty when there is none.
    virtual std::wstring FindInstaller(const std::wstring& program) = 0;
    // The file a drive path on the CD ("D:\ISOLINUX\root.lzm") names, as this process opens it
    // to look at it before a job; empty when the path names no file.
    virtual std::string SourceFilePath(const std::wstring& drivePath) = 0;
};

} // namespace platform
