#include "platform/linux/SysfsBlockDevices.h"

#include "platform/Drives.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <optional>
#include <regex>
#include <sstream>
#include <sys/stat.h>
#include <sys/sysmacros.h>

namespace fs = std::filesystem;

namespace platform::linux {

namespace {

std::optional<std::string> ReadTrimmed(const fs::path& path)
{
    std::ifstream in(path);
    if (!in)
        return std::nullopt;
    std::stringstream buffer;
    buffer << in.rdbuf();
    std::string text = buffer.str();
    auto isSpace = [](unsigned char c) { return std::isspace(c) != 0; };
    while (!text.empty() && isSpace(text.back()))
        text.pop_back();
    auto first = std::find_if_not(text.begin(), text.end(), isSpace);
    return std::string(first, text.end());
}

std::optional<std::uint64_t> ReadNumber(const fs::path& path)
{
    auto text = ReadTrimmed(path);
    if (!text || text->empty() || !std::all_of(text->begin(), text->end(), ::isdigit))
        return std::nullopt;
    try {
        return std::stoull(*text);
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

std::string Canonical(const fs::path& path)
{
    std::error_code error;
    auto resolved = fs::canonical(path, error);
    return error ? std::string() : resolved.string();
}

std::string DeviceNumberText(dev_t device)
{
    return std::to_string(major(device)) + ":" + std::to_string(minor(device));
}

// Mount points in mountinfo escape space, tab, newline and backslash as \ooo.
std::string UnescapeMountField(const std::string& field)
{
    std::string out;
    for (size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size()
            && std::all_of(field.begin() + i + 1, field.begin() + i + 4, [](char c) { return c >= '0' && c <= '7'; })) {
            out += static_cast<char>(std::stoi(field.substr(i + 1, 3), nullptr, 8));
            i += 3;
            continue;
        }
        out += field[i];
    }
    return out;
}

bool IsUnder(const std::string& path, const std::string& root)
{
    if (root == "/")
        return true;
    return path == root || (path.size() > root.size() && path.compare(0, root.size(), root) == 0 && path[root.size()] == '/');
}

} // namespace

SysfsBlockDevices::SysfsBlockDevices(std::string sysfsRoot, std::string devRoot, std::string mountInfoPath)
    : m_sysfsRoot(std::move(sysfsRoot))
    , m_devRoot(std::move(devRoot))
    , m_mountInfoPath(std::move(mountInfoPath))
{
}

bool SysfsBlockDevices::IsSkippedName(const std::string& sysName)
{
    // Loop and RAM disks, device-mapper and md arrays sit on other disks or on nothing; optical
    // drives, floppies and network block devices are never a stick.
    static const char* const prefixes[] = { "loop", "ram", "zram", "dm-", "md", "sr", "fd", "nbd" };
    for (const char* prefix : prefixes) {
        if (sysName.rfind(prefix, 0) == 0)
            return true;
    }
    return sysName.empty() || sysName[0] == '.';
}

bool SysfsBlockDevices::IsReadOnly(const std::string& sysfsRoot, dev_t device)
{
    return ReadNumber(fs::path(sysfsRoot) / "dev" / "block" / DeviceNumberText(device) / "ro").value_or(0) == 1;
}

DriveBus SysfsBlockDevices::BusTypeFromDevicePath(const std::string& devicePath)
{
    // A USB mass-storage disk hangs below a USB interface ("1-2:1.0", "2-1.4:1.0") of a root
    // hub ("usb1"); udev's ID_BUS is not needed for this.
    static const std::regex usbInterface(R"(\d+-\d+(\.\d+)*:\d+\.\d+)");
    static const std::regex usbRootHub(R"(usb\d+)");
    static const std::regex ataPort(R"(ata\d+)");
    static const std::regex mmcHost(R"(mmc\d+|mmc_host)");

    DriveBus bus = DriveBus::Other;
    std::stringstream components(devicePath);
    std::string component;
    while (std::getline(components, component, '/')) {
        if (std::regex_match(component, usbInterface) || std::regex_match(component, usbRootHub))
            return DriveBus::Usb;
        if (bus != DriveBus::Other)
            continue;
        if (component == "nvme")
            bus = DriveBus::Nvme;
        else if (std::regex_match(component, ataPort))
            bus = DriveBus::Sata;
        else if (std::regex_match(component, mmcHost))
            bus = DriveBus::Sd;
    }
    return bus;
}

std::vector<BlockDevice> SysfsBlockDevices::Scan() const
{
    std::vector<BlockDevice> devices;
    const fs::path blockDir = fs::path(m_sysfsRoot) / "block";
    const std::string devicesRoot = Canonical(fs::path(m_sysfsRoot) / "devices");

    std::error_code error;
    for (fs::directory_iterator it(blockDir, error), end; !error && it != end; it.increment(error)) {
        const std::string name = it->path().filename().string();
        if (IsSkippedName(name))
            continue;
        auto sectors = ReadNumber(it->path() / "size");
        if (!sectors || *sectors == 0)
            continue;

        BlockDevice device;
        device.sysName = name;
        std::string node = name;
        std::replace(node.begin(), node.end(), '!', '/'); // "cciss!c0d0" is /dev/cciss/c0d0
        device.nodePath = (fs::path(m_devRoot) / node).string();
        device.sizeBytes = *sectors * 512; // sysfs counts 512-byte units whatever the device's sector
        device.removable = ReadNumber(it->path() / "removable").value_or(0) == 1;
        device.readOnly = ReadNumber(it->path() / "ro").value_or(0) == 1;
        auto sectorSize = ReadNumber(it->path() / "queue" / "logical_block_size").value_or(512);
        device.logicalSectorSize = sectorSize >= 512 && sectorSize <= 65536 ? static_cast<std::uint32_t>(sectorSize) : 512;

        std::string devicePath = Canonical(it->path() / "device");
        // Judge only the part below <sysfs>/devices, so the folder sysfs itself lives in cannot
        // look like a USB path.
        if (!devicesRoot.empty() && IsUnder(devicePath, devicesRoot))
            devicePath.erase(0, devicesRoot.size());
        device.busType = BusTypeFromDevicePath(devicePath);
        device.vendor = ReadTrimmed(it->path() / "device" / "vendor").value_or("");
        device.product = ReadTrimmed(it->path() / "device" / "model").value_or("");
        devices.push_back(std::move(device));
    }
    std::sort(devices.begin(), devices.end(), [](const BlockDevice& a, const BlockDevice& b) { return a.sysName < b.sysName; });
    return devices;
}

std::set<std::string> SysfsBlockDevices::DisksHolding(const std::string& path) const
{
    std::set<std::string> disks;
    struct stat info {};
    if (path.empty() || ::stat(path.c_str(), &info) != 0)
        return disks;

    // btrfs, overlay and some others report a device number that is no block device; then the
    // mount's source names the disk, if it is one.
    auto sysfsDirOf = [&](const std::string& number) {
        return number.empty() ? std::string() : Canonical(fs::path(m_sysfsRoot) / "dev" / "block" / number);
    };
    std::string sysfsDir = sysfsDirOf(DeviceNumberText(info.st_dev));
    if (sysfsDir.empty())
        sysfsDir = sysfsDirOf(DeviceNumberOfMountSource(path));
    if (sysfsDir.empty())
        return disks;
    CollectUnderlyingDisks(WholeDiskOfSysfsDir(sysfsDir), disks, 0);
    return disks;
}

std::string SysfsBlockDevices::WholeDiskOfSysfsDir(const std::string& sysfsDir) const
{
    fs::path dir(sysfsDir);
    std::error_code error;
    if (fs::exists(dir / "partition", error))
        return dir.parent_path().filename().string();
    return dir.filename().string();
}

void SysfsBlockDevices::CollectUnderlyingDisks(const std::string& sysName, std::set<std::string>& disks, int depth) const
{
    if (sysName.empty() || depth > 8 || !disks.insert(sysName).second)
        return;
    std::error_code error;
    fs::path slaves = fs::path(m_sysfsRoot) / "block" / sysName / "slaves";
    for (fs::directory_iterator it(slaves, error), end; !error && it != end; it.increment(error)) {
        std::string slaveDir = Canonical(it->path());
        if (!slaveDir.empty())
            CollectUnderlyingDisks(WholeDiskOfSysfsDir(slaveDir), disks, depth + 1);
    }
}

std::string SysfsBlockDevices::DeviceNumberOfMountSource(const std::string& path) const
{
    std::string target = Canonical(path);
    std::ifstream in(m_mountInfoPath);
    if (target.empty() || !in)
        return {};

    std::string bestMountPoint;
    std::string bestSource;
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::vector<std::string> parts;
        for (std::string field; fields >> field;)
            parts.push_back(field);
        auto separator = std::find(parts.begin(), parts.end(), "-");
        if (parts.size() < 5 || separator == parts.end() || std::distance(separator, parts.end()) < 3)
            continue;
        std::string mountPoint = UnescapeMountField(parts[4]);
        if (!IsUnder(target, mountPoint) || mountPoint.size() < bestMountPoint.size())
            continue;
        bestMountPoint = mountPoint;
        bestSource = UnescapeMountField(*(separator + 2));
    }
    struct stat source {};
    if (bestSource.empty() || bestSource[0] != '/' || ::stat(bestSource.c_str(), &source) != 0 || !S_ISBLK(source.st_mode))
        return {};
    return DeviceNumberText(source.st_rdev);
}

} // namespace platform::linux
