#include "platform/linux/DeviceIdentity.h"

#include "platform/linux/UniqueFd.h"

#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

namespace fs = std::filesystem;

namespace platform::linux {

namespace {

std::string FirstLineOf(const fs::path& path)
{
    std::ifstream file(path);
    std::string line;
    std::getline(file, line);
    return line;
}

std::string OfStat(const std::string& sysfsRoot, int dirFd, const char* path, int flags, int fd)
{
    struct statx info {};
    if (::statx(dirFd, path, flags, STATX_TYPE | STATX_INO | STATX_BTIME, &info) != 0)
        return {};
    if (S_ISBLK(info.stx_mode)) {
        std::uint64_t size = 0;
        UniqueFd opened;
        if (fd < 0) {
            opened = UniqueFd(::open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK));
            fd = opened.Get();
        }
        if (fd < 0 || ::ioctl(fd, BLKGETSIZE64, &size) != 0)
            return {};
        auto number = std::to_string(info.stx_rdev_major) + ":" + std::to_string(info.stx_rdev_minor);
        return DeviceIdentity::OfSysfsDisk(sysfsRoot + "/dev/block/" + number, size);
    }
    if (!S_ISREG(info.stx_mode))
        return {};
    std::string identity = "file:" + std::to_string(info.stx_dev_major) + ":" + std::to_string(info.stx_dev_minor) + ":"
        + std::to_string(info.stx_ino);
    if (info.stx_mask & STATX_BTIME)
        identity += ":" + std::to_string(info.stx_btime.tv_sec) + "." + std::to_string(info.stx_btime.tv_nsec);
    return identity;
}

} // namespace

std::string DeviceIdentity::OfSysfsDisk(const std::string& sysfsDiskDir, std::uint64_t sizeBytes)
{
    std::string sequence = FirstLineOf(fs::path(sysfsDiskDir) / "diskseq");
    if (!sequence.empty())
        return "diskseq:" + sequence;
    std::error_code error;
    auto device = fs::canonical(sysfsDiskDir, error);
    if (error)
        return {};
    return "disk:" + FirstLineOf(device / "dev") + ":" + device.string() + ":" + std::to_string(sizeBytes);
}

std::string DeviceIdentity::OfPath(const std::string& sysfsRoot, const std::string& path)
{
    return OfStat(sysfsRoot, AT_FDCWD, path.c_str(), AT_STATX_SYNC_AS_STAT, -1);
}

std::string DeviceIdentity::OfOpenFile(const std::string& sysfsRoot, int fd)
{
    return OfStat(sysfsRoot, fd, "", AT_EMPTY_PATH | AT_STATX_SYNC_AS_STAT, fd);
}

} // namespace platform::linux
