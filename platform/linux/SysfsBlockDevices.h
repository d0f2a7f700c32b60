#pragma once

#include "platform/Sticks.h"

#include <cstdint>
#include <set>
#include <string>
#include <sys/types.h>
#include <vector>

namespace platform::linux {

struct BlockDevice {
    std::string sysName;             // "sdb", "nvme0n1"
    std::string nodePath;            // "/dev/sdb"
    std::uint64_t sizeBytes = 0;
    std::uint32_t logicalSectorSize = 512;
    bool removable = false;
    bool readOnly = false;           // the kernel's read-only flag: a lock switch, a read-only device
    DriveBus busType = DriveBus::Other;
    std::string vendor;
    std::string product;
};

// Whole-disk block devices as sysfs lists them under <sysfs>/block. Partitions, virtual and
// optical devices, floppies and empty slots (size 0) are left out.
class SysfsBlockDevices {
public:
    SysfsBlockDevices(std::string sysfsRoot, std::string devRoot, std::string mountInfoPath);

    std::vector<BlockDevice> Scan() const;

    // The whole disks that hold the file system of `path` (through device-mapper or md layers:
    // every disk underneath). Empty when the file system is not on a block device.
    std::set<std::string> DisksHolding(const std::string& path) const;

    static bool IsSkippedName(const std::string& sysName);
    // The read-only flag of the block device numbered `device` (<sysfs>/dev/block/M:m/ro).
    static bool IsReadOnly(const std::string& sysfsRoot, dev_t device);
    // The bus a device sits on, from its resolved sysfs device path below <sysfs>/devices.
    static DriveBus BusTypeFromDevicePath(const std::string& devicePath);

private:
    std::string DeviceNumberOfMountSource(const std::string& path) const;
    std::string WholeDiskOfSysfsDir(const std::string& sysfsDir) const;
    void CollectUnderlyingDisks(const std::string& sysName, std::set<std::string>& disks, int depth) const;

    std::string m_sysfsRoot;
    std::string m_devRoot;
    std::string m_mountInfoPath;
};

} // namespace platform::linux
