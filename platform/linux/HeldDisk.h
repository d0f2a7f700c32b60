#pragma once

#include "platform/Sticks.h"
#include "platform/linux/DriveTable.h"
#include "platform/linux/UniqueFd.h"

#include <memory>
#include <string>

namespace platform::linux {

// A stick's whole disk, open for a job. A block device is opened exclusively (O_EXCL: nobody
// mounts it, claims it or re-reads its partition table meanwhile) and every disk is BSD-locked
// (udev leaves a locked disk alone, so no desktop probes or mounts a half-written volume). The
// job's tools reach the disk through /proc/<pid>/fd/<n>, which names the held device itself:
// they write it even when its node or image file name has gone to another device since.
class HeldDisk {
public:
    // Unmounts what the system mounted from the disk, then opens it and checks it is still the
    // device of `drive.identity`. Null, with the reason, when it can't be held.
    static std::shared_ptr<HeldDisk> Open(const DriveInfo& drive, const std::string& sysfsRoot,
        StickHoldError& why, std::string& error);

    HeldDisk(UniqueFd fd, std::string identity, bool isBlockDevice);
    // Lets the system read the new partition table of a block device, then closes it.
    ~HeldDisk();
    HeldDisk(const HeldDisk&) = delete;
    HeldDisk& operator=(const HeldDisk&) = delete;

    int Fd() const { return m_fd.Get(); }
    const std::string& Identity() const { return m_identity; }
    // The path by which this process and its children reach the held disk.
    std::string ReachPath() const;

    // Puts everything written so far on the medium and forgets the disk's cached pages, so the
    // next read comes from the medium itself.
    bool FlushAndForget(std::string& error) const;

private:
    UniqueFd m_fd;
    std::string m_identity;
    bool m_isBlockDevice = false;
};

} // namespace platform::linux
