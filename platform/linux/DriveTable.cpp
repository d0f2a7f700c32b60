#include "platform/linux/DriveTable.h"

#include "platform/files/Utf8.h"
#include "platform/linux/DeviceIdentity.h"
#include "platform/linux/SysfsBlockDevices.h"

#include <algorithm>
#include <climits>
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

namespace platform::posix {

namespace {

bool EqualsIgnoringAsciiCase(const std::string& a, const std::string& b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
        auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
        return lower(x) == lower(y);
    });
}

bool IsUnder(const std::string& path, const std::string& root)
{
    if (root == "/")
        return !path.empty() && path[0] == '/';
    return path == root || (path.size() > root.size() && path.compare(0, root.size(), root) == 0 && path[root.size()] == '/');
}

bool Exists(const fs::path& path)
{
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0;
}

// The entry of `folder` that is `name` when case does not count, as drive paths do not.
// Exact spelling wins; among several spellings the first in name order.
std::optional<std::string> FindEntry(const fs::path& folder, const std::string& name)
{
    if (Exists(folder / name))
        return name;
    std::vector<std::string> matches;
    std::error_code error;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        std::string entry = it->path().filename().string();
        if (EqualsIgnoringAsciiCase(entry, name))
            matches.push_back(entry);
    }
    if (matches.empty())
        return std::nullopt;
    return *std::min_element(matches.begin(), matches.end());
}

// "\\?\E:", "\\.\E:\x", "e:" -> 'E' and the rest after the colon; nullopt without a drive letter.
std::optional<std::pair<char, std::wstring>> SplitDriveLetter(std::wstring path)
{
    if (path.rfind(L"\\\\?\\", 0) == 0 || path.rfind(L"\\\\.\\", 0) == 0)
        path.erase(0, 4);
    if (path.size() < 2 || path[1] != L':')
        return std::nullopt;
    wchar_t letter = DriveLetterOf(path[0]);
    if (!letter)
        return std::nullopt;
    return std::make_pair(static_cast<char>(letter), path.substr(2));
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
        char buffer[PATH_MAX];
        ssize_t length = ::readlink("/proc/self/exe", buffer, sizeof(buffer) - 1);
        if (length > 0)
            options.cdRoot = fs::path(std::string(buffer, length)).parent_path().parent_path().string();
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

std::string DriveTable::ToNativePath(const std::wstring& drivePath) const
{
    auto split = SplitDriveLetter(drivePath);
    if (!split)
        return ToUtf8(drivePath);
    auto drive = Find(split->first);
    if (!drive || drive->kind != DriveInfo::Kind::CdRoot)
        return {}; // no such drive, or a volume reached through CreateFileW only

    // Drive paths are absolute from the drive's root; "." and ".." are folded in here so a
    // path can never climb out of the CD root.
    std::vector<std::string> components;
    std::string rest = ToUtf8(split->second);
    std::replace(rest.begin(), rest.end(), '\\', '/');
    size_t start = 0;
    while (start <= rest.size()) {
        size_t end = rest.find('/', start);
        if (end == std::string::npos)
            end = rest.size();
        std::string component = rest.substr(start, end - start);
        if (component == "..") {
            if (!components.empty())
                components.pop_back();
        } else if (!component.empty() && component != ".") {
            components.push_back(component);
        }
        start = end + 1;
    }

    fs::path native(drive->path);
    bool resolving = true;
    for (const std::string& component : components) {
        std::optional<std::string> entry = resolving ? FindEntry(native, component) : std::nullopt;
        resolving = entry.has_value();
        native /= entry.value_or(component);
    }
    return native.string();
}

std::wstring DriveTable::ToDrivePath(const std::string& nativePath) const
{
    auto cd = CdRoot();
    if (!cd)
        return FromUtf8(nativePath);

    std::string path = nativePath;
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    if (!IsUnder(path, cd->path)) {
        std::error_code error;
        auto canonical = fs::canonical(path, error);
        if (error || !IsUnder(canonical.string(), cd->path))
            return FromUtf8(nativePath);
        path = canonical.string();
    }
    std::string rest = cd->path == "/" ? path : path.substr(cd->path.size());
    while (!rest.empty() && rest.front() == '/')
        rest.erase(rest.begin());
    std::replace(rest.begin(), rest.end(), '/', '\\');
    std::wstring drivePath = L"D:\\";
    drivePath[0] = static_cast<wchar_t>(kCdRootLetter);
    return drivePath + FromUtf8(rest);
}

} // namespace platform::posix
