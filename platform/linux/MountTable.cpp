#include "platform/linux/MountTable.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace platform::linux {

namespace {

// mountinfo escapes blanks, tabs, newlines and backslashes as \ooo.
std::string Unescape(const std::string& field)
{
    std::string result;
    for (std::size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size() && std::isdigit(static_cast<unsigned char>(field[i + 1])) && std::isdigit(static_cast<unsigned char>(field[i + 2]))
            && std::isdigit(static_cast<unsigned char>(field[i + 3]))) {
            result += static_cast<char>((field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 + (field[i + 3] - '0'));
            i += 3;
            continue;
        }
        result += field[i];
    }
    return result;
}

std::string RealPath(const std::string& path)
{
    char resolved[PATH_MAX];
    return ::realpath(path.c_str(), resolved) ? std::string(resolved) : std::string();
}

std::string SysfsPathOf(unsigned major, unsigned minor)
{
    return RealPath("/sys/dev/block/" + std::to_string(major) + ":" + std::to_string(minor));
}

std::string ReadFirstLine(const std::string& path)
{
    std::ifstream file(path);
    std::string line;
    std::getline(file, line);
    return line;
}

// True when the block device major:minor is the disk (sysfs dir `diskSysfs`) or a partition of it,
// or a loop device whose backing file is `imagePath`.
bool DeviceBelongsTo(unsigned major, unsigned minor, const std::string& diskSysfs, const std::string& imagePath)
{
    auto device = SysfsPathOf(major, minor);
    if (device.empty())
        return false;
    if (!diskSysfs.empty())
        return device == diskSysfs || device.rfind(diskSysfs + "/", 0) == 0;
    if (!imagePath.empty()) {
        auto backing = ReadFirstLine(device + "/loop/backing_file");
        if (backing.empty()) // a partition of a loop device
            backing = ReadFirstLine(device + "/../loop/backing_file");
        return !backing.empty() && backing == imagePath;
    }
    return false;
}

struct DiskIdentity {
    std::string sysfs;  // block devices
    std::string image;  // image files
};

DiskIdentity IdentifyDisk(const std::string& diskPath)
{
    struct stat info {};
    if (::stat(diskPath.c_str(), &info) != 0)
        return {};
    if (S_ISBLK(info.st_mode))
        return { SysfsPathOf(major(info.st_rdev), minor(info.st_rdev)), {} };
    return { {}, RealPath(diskPath) };
}

} // namespace

MountTable MountTable::Load()
{
    std::ifstream file("/proc/self/mountinfo");
    std::stringstream text;
    text << file.rdbuf();
    return Parse(text.str());
}

MountTable MountTable::Parse(const std::string& mountinfoText)
{
    MountTable table;
    std::istringstream lines(mountinfoText);
    std::string line;
    while (std::getline(lines, line)) {
        // id parent major:minor root mount-point options [optional...] - type source super-options
        std::istringstream fields(line);
        std::string id, parent, device, root, mountPoint;
        if (!(fields >> id >> parent >> device >> root >> mountPoint))
            continue;
        auto colon = device.find(':');
        if (colon == std::string::npos)
            continue;
        Mount mount;
        char* end = nullptr;
        mount.major = static_cast<unsigned>(std::strtoul(device.c_str(), &end, 10));
        mount.minor = static_cast<unsigned>(std::strtoul(device.c_str() + colon + 1, &end, 10));
        mount.mountPoint = Unescape(mountPoint);
        std::string field;
        while (fields >> field && field != "-") { }
        std::string type;
        if (fields >> type >> field)
            mount.source = Unescape(field);
        table.m_mounts.push_back(std::move(mount));
    }
    return table;
}

std::vector<MountTable::Mount> MountTable::MountsOnDisk(const std::string& diskPath) const
{
    auto disk = IdentifyDisk(diskPath);
    std::vector<Mount> found;
    if (disk.sysfs.empty() && disk.image.empty())
        return found;
    for (auto& mount : m_mounts) {
        if (mount.major == 0) // proc, tmpfs and other devices without a block device
            continue;
        if (DeviceBelongsTo(mount.major, mount.minor, disk.sysfs, disk.image))
            found.push_back(mount);
    }
    return found;
}

bool MountTable::IsSystemMountPoint(const std::string& mountPoint)
{
    static const char* const exactPoints[] = { "/", "/home", "/etc", "/opt", "/srv", "/root", "/bin", "/sbin", "/lib",
        "/lib64" };
    static const char* const treePoints[] = { "/boot", "/usr", "/var" };
    for (auto* point : exactPoints)
        if (mountPoint == point)
            return true;
    for (auto* point : treePoints)
        if (mountPoint == point || mountPoint.rfind(std::string(point) + "/", 0) == 0)
            return true;
    auto executable = RealPath("/proc/self/exe");
    return !executable.empty() && MountPointOf(executable, Load().Mounts()) == mountPoint;
}

std::string MountTable::MountPointOf(const std::string& path, const std::vector<Mount>& mounts)
{
    std::string best;
    for (auto& mount : mounts) {
        auto& point = mount.mountPoint;
        bool contains = path == point || point == "/" || path.rfind(point + "/", 0) == 0;
        if (contains && point.size() >= best.size())
            best = point;
    }
    return best;
}

bool MountTable::DiskHoldsSwap(const std::string& diskPath)
{
    auto disk = IdentifyDisk(diskPath);
    std::ifstream swaps("/proc/swaps");
    std::string line;
    std::getline(swaps, line); // header
    while (std::getline(swaps, line)) {
        std::istringstream fields(line);
        std::string device;
        fields >> device;
        struct stat info {};
        if (::stat(Unescape(device).c_str(), &info) != 0)
            continue;
        if (S_ISBLK(info.st_mode) && DeviceBelongsTo(major(info.st_rdev), minor(info.st_rdev), disk.sysfs, disk.image))
            return true;
    }
    return false;
}

bool MountTable::Unmount(const std::vector<Mount>& mounts, std::string& error)
{
    auto ordered = mounts;
    std::sort(ordered.begin(), ordered.end(),
        [](const Mount& a, const Mount& b) { return a.mountPoint.size() > b.mountPoint.size(); });
    for (auto& mount : ordered) {
        if (::umount2(mount.mountPoint.c_str(), 0) != 0 && errno != EINVAL) {
            int code = errno;
            error = "can't unmount " + mount.mountPoint + ": " + std::strerror(code);
            errno = code; // the caller tells a busy volume (EBUSY) from the rest
            return false;
        }
    }
    return true;
}

} // namespace platform::linux
