#include "platform/linux/HeldDisk.h"

#include "platform/linux/DeviceIdentity.h"
#include "platform/linux/StickDrive.h"
#include "platform/linux/SysfsBlockDevices.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform::linux {

namespace {

constexpr int kLockAttempts = 50;
constexpr useconds_t kLockRetryMicroseconds = 100 * 1000;

StickHoldError ReasonOf(int error)
{
    switch (error) {
    case EACCES:
    case EPERM:
        return StickHoldError::AccessDenied;
    case ENOENT:
    case ENXIO:
    case ENODEV:
        return StickHoldError::NotThatDevice;
    case EROFS:
        return StickHoldError::WriteProtected;
    case EBUSY:
        return StickHoldError::InUse; // open exclusively elsewhere
    default:
        return StickHoldError::Unavailable;
    }
}

} // namespace

HeldDisk::HeldDisk(UniqueFd fd, std::string identity, bool isBlockDevice)
    : m_fd(std::move(fd))
    , m_identity(std::move(identity))
    , m_isBlockDevice(isBlockDevice)
{
}

std::shared_ptr<HeldDisk> HeldDisk::Open(const DriveInfo& drive, const std::string& sysfsRoot, StickHoldError& why,
    std::string& error)
{
    if (!StickDrive::ReleaseFromSystem(drive.path, why, error))
        return nullptr;
    why = StickHoldError::Unavailable;

    struct stat node {};
    bool isBlockDevice = ::stat(drive.path.c_str(), &node) == 0 && S_ISBLK(node.st_mode);
    UniqueFd fd(::open(drive.path.c_str(), O_RDWR | O_CLOEXEC | (isBlockDevice ? O_EXCL : 0)));
    if (!fd) {
        int code = errno;
        why = ReasonOf(code);
        error = "can't open " + drive.path + " for writing: " + std::strerror(code);
        // A read-only device may refuse the open itself: that is no question of rights.
        if (isBlockDevice && SysfsBlockDevices::IsReadOnly(sysfsRoot, node.st_rdev)) {
            why = StickHoldError::WriteProtected;
            error = drive.path + " is write-protected";
        }
        return nullptr;
    }
    // The medium's lock switch, asked of the disk itself: nothing is written to a disk that refuses it.
    int readOnly = 0;
    if (isBlockDevice && ::ioctl(fd.Get(), BLKROGET, &readOnly) == 0 && readOnly) {
        why = StickHoldError::WriteProtected;
        error = drive.path + " is write-protected";
        return nullptr;
    }
    // Best effort: a disk that stays locked elsewhere for five seconds is held all the same.
    for (int attempt = 0; attempt < kLockAttempts && ::flock(fd.Get(), LOCK_EX | LOCK_NB) != 0; ++attempt)
        ::usleep(kLockRetryMicroseconds);

    // The name may have gone to another device between the look at the system and the open.
    std::string identity = DeviceIdentity::OfOpenFile(sysfsRoot, fd.Get());
    if (identity.empty() || identity != drive.identity) {
        why = StickHoldError::NotThatDevice;
        error = drive.path + " is no longer the chosen device";
        return nullptr;
    }
    why = StickHoldError::None;
    return std::make_shared<HeldDisk>(std::move(fd), std::move(identity), isBlockDevice);
}

HeldDisk::~HeldDisk()
{
    if (!m_fd)
        return;
    ::fsync(m_fd.Get());
    // Only now may the system see the partition the job wrote; a disk in use elsewhere keeps
    // the old view.
    if (m_isBlockDevice)
        ::ioctl(m_fd.Get(), BLKRRPART);
}

std::string HeldDisk::ReachPath() const
{
    return "/proc/" + std::to_string(::getpid()) + "/fd/" + std::to_string(m_fd.Get());
}

bool HeldDisk::FlushAndForget(std::string& error) const
{
    if (::fsync(m_fd.Get()) != 0) {
        error = std::string("can't flush the stick: ") + std::strerror(errno);
        return false;
    }
    if (m_isBlockDevice)
        ::ioctl(m_fd.Get(), BLKFLSBUF);
    int result = ::posix_fadvise(m_fd.Get(), 0, 0, POSIX_FADV_DONTNEED);
    if (result != 0) {
        error = std::string("can't drop the stick's cached pages: ") + std::strerror(result);
        return false;
    }
    return true;
}

} // namespace platform::linux
