#pragma once

#include "platform/linux/StickVolume.h"

#include <functional>
#include <string>

namespace platform::linux {

// Makes a stick bootable: the Linux syslinux installer puts its loader into the FAT volume
// (--install --offset), then the master boot record gets syslinux's boot code (its partition
// table kept) and the volume's partition is marked active.
class BootLoaderInstaller {
public:
    struct Settings {
        std::string installerPath; // the Linux syslinux program
        std::string mbrCodePath;   // mbr.bin
        bool force = false;
        bool writeMbr = false;
        bool makeActive = false;
    };

    BootLoaderInstaller(StickVolume volume, Settings settings);

    // 0 when everything succeeded; otherwise non-zero (the installer's own status when it
    // failed) with the reason in `error`. The installer's output goes to `output`.
    int Run(const std::function<void(const std::string&)>& output, std::string& error);

private:
    bool PatchMasterBootRecord(std::string& error);

    StickVolume m_volume;
    Settings m_settings;
};

} // namespace platform::linux
