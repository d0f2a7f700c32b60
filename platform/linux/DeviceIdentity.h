#pragma once

#include <cstdint>
#include <string>

namespace platform::linux {

// Identities of the devices behind drive letters: one text never names two devices while the
// program runs. A disk: the kernel's disk sequence number, new for every disk and every medium
// change; where the kernel has none, its device number, sysfs device and size. An image file:
// its file system, inode and birth time (an inode number can come back for a new file, but not
// while the old one is open, and a job keeps its stick open).
class DeviceIdentity {
public:
    // A whole disk by its folder in sysfs (<sysfs>/block/sdb or <sysfs>/dev/block/8:16).
    static std::string OfSysfsDisk(const std::string& sysfsDiskDir, std::uint64_t sizeBytes);
    // An image file or a disk's device node; empty when it is gone.
    static std::string OfPath(const std::string& sysfsRoot, const std::string& path);
    // What an open descriptor reaches, in the same terms.
    static std::string OfOpenFile(const std::string& sysfsRoot, int fd);
};

} // namespace platform::linux
