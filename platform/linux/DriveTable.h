#pragma once

#include "platform/Drives.h"
#include "platform/Sticks.h"
#include "platform/linux/VirtualStickList.h"

#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <sys/types.h>
#include <vector>

namespace platform::linux {

struct DriveInfo {
    enum class Kind { CdRoot, BlockDevice, VirtualStick };
    char letter = 0;                 // 'A'..'Z'
    Kind kind = Kind::BlockDevice;
    std::string path;                // the CD root folder, /dev/sdX, or the stick's image file
    std::string sysName;             // "sdb" for block devices
    DriveType type = DriveType::Unknown;
    DriveBus busType = DriveBus::Other;
    std::uint64_t sizeBytes = 0;
    std::uint32_t logicalSectorSize = 512;
    bool readOnly = false;           // the system won't write the medium
    std::string vendor;              // as the device names itself, may be empty
    std::string product;
    std::string identity;            // see DeviceIdentity: never the same for two devices
};

// The POSIX drive table: the CD root, whole-disk block devices from sysfs and virtual sticks,
// each under a drive letter that stays while the device stays (paths on its drives:
// DrivePathTranslator). See docs/drives.md.
class DriveTable {
public:
    struct Options {
        std::string sysfsRoot = "/sys";
        std::string devRoot = "/dev";
        std::string cdRoot;          // the folder above the executable's folder
        std::string virtualSticks;   // ARKEVEN_VIRTUAL_STICKS: "file[:removable|:fixed],..."
        std::string mountInfoPath = "/proc/self/mountinfo";
        // Elevated for this user (pkexec's PKEXEC_UID): a virtual stick is offered only when it
        // is a regular file the user owns, so the user can't have root format a file of root's.
        std::optional<uid_t> elevatedFor;
    };

    // Letters that came and went in one rescan.
    struct Changes {
        std::vector<char> arrived;
        std::vector<char> removed;
        bool Empty() const { return arrived.empty() && removed.empty(); }
    };

    static constexpr char kCdRootLetter = 'D';

    // Scans once, so the table is filled from the start.
    explicit DriveTable(Options options);

    // ARKEVEN_CD_ROOT or the folder above the executable's folder, ARKEVEN_VIRTUAL_STICKS
    // (relative files taken from the current folder), /sys and /dev.
    static Options DefaultOptions();
    // The CD the program runs from: the folder above the executable's folder.
    static std::string ProgramCdRoot();

    // Process-wide table, built on first use from DefaultOptions().
    static DriveTable& Instance();
    // The same table, kept alive for as long as the caller holds it (the event thread does).
    static std::shared_ptr<DriveTable> SharedInstance();
    // Replaces the process-wide table (tests); without options the next use builds the default.
    static void ResetInstance(Options options);
    static void ResetInstance();

    Changes Rescan();
    std::vector<DriveInfo> Drives() const;
    const std::string& SysfsRoot() const { return m_options.sysfsRoot; }
    std::optional<DriveInfo> Find(char letter) const;
    std::optional<DriveInfo> CdRoot() const;

    // Whether each virtual stick's file exists with a medium (not 0 bytes), in the order listed;
    // cheap enough to poll.
    std::vector<bool> VirtualStickFilesPresent() const;

private:
    struct Candidate {
        std::string key;
        DriveInfo info;
    };
    std::vector<Candidate> CollectCandidates() const;
    // Under elevation: whether the user may have the stick written; names a refused one on
    // standard error, once.
    bool MayOffer(const VirtualStick& stick) const;
    static std::string KeyOf(const DriveInfo& drive);

    Options m_options;
    std::string m_cdRoot; // canonical, empty when there is none
    std::vector<VirtualStick> m_virtualSticks;
    mutable std::mutex m_mutex;
    std::map<char, DriveInfo> m_drives;
    mutable std::mutex m_refusalMutex;
    mutable std::set<std::string> m_namedRefusals;
};

} // namespace platform::linux
