#include "platform/linux/DriveTable.h"

#include "platform/linux/DeviceIdentity.h"
#include "platform/linux/OwnExecutable.h"
#include "platform/linux/SysfsBlockDevices.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <linux/fs.h>
#include <set>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace platform::linux {

namespace {

bool Exists(const fs::path& path)
{
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0;
}

// A virtual stick that is a block device carries the device's read-only flag; a file carries
// none (whether this user may write it is a question of rights).
bool StickFileIsReadOnly(const std::string& sysfsRoot, const std::string& path)
{
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISBLK(info.st_mode) && SysfsBlockDevices::IsReadOnly(sysfsRoot, info.st_rdev);
}

// Its size in bytes; nullopt when it is neither a regular file nor a block device. A file of 0
// bytes stands for a card reader without a card.
std::optional<std::uint64_t> SizeOfStickFile(const std::string& path)
{
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0)
        return std::nullopt;
    if (S_ISREG(info.st_mode))
        return static_cast<std::uint64_t>(info.st_size);
    if (!S_ISBLK(info.st_mode))
        return std::nullopt;
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    std::uint64_t size = 0;
    bool known = ::ioctl(fd, BLKGETSIZE64, &size) == 0;
    ::close(fd);
    return known ? std::optional<std::uint64_t>(size) : std::nullopt;
}

char LowestFreeLetter(const std::map<char, DriveInfo>& drives, char from)
{
    for (char letter = from; letter <= 'Z'; ++letter) {
        if (letter == DriveTable::kCdRootLetter || drives.count(letter))
            continue;
        return letter;
    }
    return 0;
}

std::mutex s_instanceMutex;
std::shared_ptr<DriveTable> s_instance;

} // namespace

DriveTable::DriveTable(Options options)
    : m_options(std::move(options))
{
    if (!m_options.cdRoot.empty()) {
        std::error_code error;
        auto canonical = fs::canonical(m_options.cdRoot, error);
        m_cdRoot = error ? fs::path(m_options.cdRoot).lexically_normal().string() : canonical.string();
        while (m_cdRoot.size() > 1 && m_cdRoot.back() == '/')
            m_cdRoot.pop_back();
    }
    std::error_code error;
    std::string currentFolder = fs::current_path(error).string();
    m_virtualSticks = VirtualStickList::Parse(m_options.virtualSticks, currentFolder);
    Rescan();
}

DriveTable::Options DriveTable::DefaultOptions()
{
    Options options;
    if (const char* cdRoot = std::getenv("ARKEVEN_CD_ROOT"); cdRoot && *cdRoot) {
        options.cdRoot = cdRoot;
    } else {
        options.cdRoot = ProgramCdRoot();
    }
    if (const char* sticks = std::getenv("ARKEVEN_VIRTUAL_STICKS"))
        options.virtualSticks = sticks;
    if (const char* uid = std::getenv("PKEXEC_UID"); uid && *uid) {
        char* end = nullptr;
        unsigned long value = std::strtoul(uid, &end, 10);
        // A value that is no user number leaves no virtual stick the user could own.
        options.elevatedFor = *end == '\0' ? static_cast<uid_t>(value) : static_cast<uid_t>(-1);
    }
    return options;
}

std::string DriveTable::ProgramCdRoot()
{
    std::string executable = OwnExecutablePath();
    return executable.empty() ? std::string() : fs::path(executable).parent_path().parent_path().string();
}

std::shared_ptr<DriveTable> DriveTable::SharedInstance()
{
    std::lock_guard lock(s_instanceMutex);
    if (!s_instance)
        s_instance = std::make_shared<DriveTable>(DefaultOptions());
    return s_instance;
}

DriveTable& DriveTable::Instance()
{
    return *SharedInstance();
}

void DriveTable::ResetInstance(Options options)
{
    auto table = std::make_shared<DriveTable>(std::move(options));
    std::lock_guard lock(s_instanceMutex);
    s_instance = std::move(table);
}

void DriveTable::ResetInstance()
{
    std::lock_guard lock(s_instanceMutex);
    s_instance.reset();
}

std::string DriveTable::KeyOf(const DriveInfo& drive)
{
    switch (drive.kind) {
    case DriveInfo::Kind::CdRoot:
        return "cd:";
    case DriveInfo::Kind::VirtualStick:
        return "stick:" + drive.path;
    case DriveInfo::Kind::BlockDevice:
        return "block:" + drive.sysName;
    }
    return {};
}

std::vector<DriveTable::Candidate> DriveTable::CollectCandidates() const
{
    std::vector<Candidate> candidates;
    auto add = [&](DriveInfo info) {
        std::string key = KeyOf(info);
        candidates.push_back({ std::move(key), std::move(info) });
    };

    std::error_code error;
    if (!m_cdRoot.empty() && fs::is_directory(m_cdRoot, error)) {
        DriveInfo cd;
        cd.kind = DriveInfo::Kind::CdRoot;
        cd.path = m_cdRoot;
        cd.type = DriveType::CdRom;
        add(std::move(cd));
    }

    for (const VirtualStick& stick : m_virtualSticks) {
        auto size = SizeOfStickFile(stick.path);
        if (!size || *size == 0 || !MayOffer(stick))
            continue;
        DriveInfo info;
        info.kind = DriveInfo::Kind::VirtualStick;
        info.path = stick.path;
        info.type = stick.fixed ? DriveType::Fixed : DriveType::Removable;
        info.busType = DriveBus::Usb;
        info.sizeBytes = *size;
        info.logicalSectorSize = 512;
        info.readOnly = StickFileIsReadOnly(m_options.sysfsRoot, stick.path);
        info.vendor = "Arkeven";
        info.product = "Virtual stick";
        info.identity = DeviceIdentity::OfPath(m_options.sysfsRoot, stick.path);
        add(std::move(info));
    }

    SysfsBlockDevices sysfs(m_options.sysfsRoot, m_options.devRoot, m_options.mountInfoPath);
    // The disk the program runs from is its own drive; it never gets a letter to be formatted.
    std::set<std::string> programDisks = sysfs.DisksHolding(m_cdRoot);
    for (const BlockDevice& device : sysfs.Scan()) {
        if (programDisks.count(device.sysName))
            continue;
        DriveInfo info;
        info.kind = DriveInfo::Kind::BlockDevice;
        info.path = device.nodePath;
        info.sysName = device.sysName;
        info.type = device.removable ? DriveType::Removable : DriveType::Fixed;
        info.busType = device.busType;
        info.sizeBytes = device.sizeBytes;
        info.logicalSectorSize = device.logicalSectorSize;
        info.readOnly = device.readOnly;
        info.vendor = device.vendor;
        info.product = device.product;
        info.identity = DeviceIdentity::OfSysfsDisk(m_options.sysfsRoot + "/block/" + device.sysName, device.sizeBytes);
        add(std::move(info));
    }
    return candidates;
}

bool DriveTable::MayOffer(const VirtualStick& stick) const
{
    if (!m_options.elevatedFor)
        return true;
    // Not followed through a link: the file itself must be the user's.
    struct stat info {};
    if (::lstat(stick.path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && info.st_uid == *m_options.elevatedFor)
        return true;
    std::lock_guard lock(m_refusalMutex);
    if (m_namedRefusals.insert(stick.path).second)
        std::fprintf(stderr, "arkeven: virtual stick %s left out: elevated, only a regular file of the user's own is offered\n",
            stick.path.c_str());
    return false;
}

DriveTable::Changes DriveTable::Rescan()
{
    std::vector<Candidate> candidates = CollectCandidates();

    std::lock_guard lock(m_mutex);
    std::map<std::string, char> lettersByKey;
    for (const auto& [letter, drive] : m_drives)
        lettersByKey[KeyOf(drive)] = letter;

    std::map<char, DriveInfo> drives;
    std::vector<const Candidate*> newcomers;
    for (const Candidate& candidate : candidates) {
        auto known = lettersByKey.find(candidate.key);
        if (known == lettersByKey.end()) {
            newcomers.push_back(&candidate);
            continue;
        }
        DriveInfo info = candidate.info;
        info.letter = known->second;
        drives[info.letter] = std::move(info);
    }

    Changes changes;
    for (const Candidate* candidate : newcomers) {
        char letter = 0;
        switch (candidate->info.kind) {
        case DriveInfo::Kind::CdRoot:
            letter = kCdRootLetter;
            break;
        case DriveInfo::Kind::VirtualStick:
            letter = LowestFreeLetter(drives, 'E');
            break;
        case DriveInfo::Kind::BlockDevice:
            letter = LowestFreeLetter(drives, 'C');
            break;
        }
        if (letter == 0)
            continue; // all letters taken: the device waits until one is free
        DriveInfo info = candidate->info;
        info.letter = letter;
        drives[letter] = std::move(info);
        changes.arrived.push_back(letter);
    }
    for (const auto& [letter, drive] : m_drives) {
        auto now = drives.find(letter);
        if (now == drives.end() || KeyOf(now->second) != KeyOf(drive))
            changes.removed.push_back(letter);
    }
    std::sort(changes.arrived.begin(), changes.arrived.end());
    m_drives = std::move(drives);
    return changes;
}

std::vector<DriveInfo> DriveTable::Drives() const
{
    std::lock_guard lock(m_mutex);
    std::vector<DriveInfo> drives;
    for (const auto& entry : m_drives)
        drives.push_back(entry.second);
    return drives;
}

std::optional<DriveInfo> DriveTable::Find(char letter) const
{
    if (letter >= 'a' && letter <= 'z')
        letter = static_cast<char>(letter - 'a' + 'A');
    std::lock_guard lock(m_mutex);
    auto it = m_drives.find(letter);
    if (it == m_drives.end())
        return std::nullopt;
    return it->second;
}

std::optional<DriveInfo> DriveTable::CdRoot() const
{
    auto drive = Find(kCdRootLetter);
    if (drive && drive->kind == DriveInfo::Kind::CdRoot)
        return drive;
    return std::nullopt;
}

std::vector<bool> DriveTable::VirtualStickFilesPresent() const
{
    std::vector<bool> present;
    // A file that grows from 0 bytes is a card put into its reader: it arrives.
    for (const VirtualStick& stick : m_virtualSticks) {
        struct stat info {};
        bool empty = ::stat(stick.path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && info.st_size == 0;
        present.push_back(Exists(stick.path) && !empty);
    }
    return present;
}

} // namespace platform::linux
