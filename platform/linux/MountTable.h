#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

namespace platform::linux {

// The mounts of this process (/proc/self/mountinfo) and the questions a stick writer asks of
// them: what is mounted from a disk, is any of it the running system, and unmounting it.
class MountTable {
public:
    struct Mount {
        unsigned major = 0;
        unsigned minor = 0;
        std::string mountPoint;
        std::string source;
    };

    static MountTable Load();
    static MountTable Parse(const std::string& mountinfoText);

    const std::vector<Mount>& Mounts() const { return m_mounts; }

    // Mounts whose device is the disk, one of its partitions, or a loop device over the image file.
    std::vector<Mount> MountsOnDisk(const std::string& diskPath) const;

    // Mount points that belong to the running system: "/", "/usr", "/boot", ... and the mount
    // holding the running executable.
    static bool IsSystemMountPoint(const std::string& mountPoint);
    static std::string MountPointOf(const std::string& path, const std::vector<Mount>& mounts);

    // Swap areas on the disk or its partitions keep it in use by the system.
    static bool DiskHoldsSwap(const std::string& diskPath);

    // Unmounts, deepest first. False with the reason (and errno) when one of them refuses.
    static bool Unmount(const std::vector<Mount>& mounts, std::string& error);

private:
    std::vector<Mount> m_mounts;
};

} // namespace platform::linux
