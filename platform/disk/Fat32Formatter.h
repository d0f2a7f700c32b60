#pragma once

#include "platform/disk/FormatListener.h"
#include "platform/disk/PercentSequence.h"
#include "platform/disk/SectorDevice.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace platform {

// Lays a FAT32 file system on a sector device: boot sector and FSInfo with their backups, two
// FATs, and a root folder holding the volume label. A full format first writes zeros over the
// data area; a quick one leaves it as it is. Needs nothing from the operating system beyond the
// device, so it serves volumes that the system's own formatter refuses.
class Fat32Formatter {
public:
    struct Settings {
        std::string label = "VarnMID";
        std::uint32_t clusterSize = 4096;
        // The sector number of the volume's start on its disk, as the boot sector records it.
        std::uint32_t hiddenSectors = 0;
        bool quick = false;
        std::size_t chunkSize = 4 * 1024 * 1024;
    };
    using Listener = FormatListener;

    // Where everything lies, in sectors from the volume's start.
    struct Layout {
        std::uint32_t sectorSize = 0;
        std::uint32_t sectorsPerCluster = 0;
        std::uint32_t reservedSectors = 0;
        std::uint32_t fatSectors = 0; // each of the two FATs
        std::uint32_t totalSectors = 0;
        std::uint32_t clusterCount = 0;

        std::uint32_t ClusterSize() const { return sectorSize * sectorsPerCluster; }
        std::uint64_t FatOffset(int index) const;
        std::uint64_t DataOffset() const;
        std::uint64_t DataSize() const { return std::uint64_t(clusterCount) * ClusterSize(); }
    };

    static constexpr std::uint32_t kFatCount = 2;
    static constexpr std::uint32_t kFsInfoSector = 1;
    static constexpr std::uint32_t kBackupBootSector = 6;
    // Below this many clusters a volume is FAT16 by definition, whatever its boot sector says.
    static constexpr std::uint32_t kMinimumClusters = 65525;
    static constexpr std::uint32_t kMaximumClusters = 0x0FFFFFF5 - 2;

    // The layout for a volume, with the data area on a cluster boundary; empty, with the reason
    // in `error`, when FAT32 can't be laid on it.
    static std::optional<Layout> Plan(std::uint64_t volumeSize, std::uint32_t sectorSize, std::uint32_t clusterSize,
        std::string& error);

    Fat32Formatter(SectorDevice& device, Settings settings, Listener listener);

    // True when the device holds the new volume, flushed and its boot sector read back.
    bool Run(std::string& error);

private:
    void StampFromClock();
    bool BootSectorReadsBack();
    bool WriteZeros(std::uint64_t offset, std::uint64_t length, std::string& error);
    bool WriteBlock(std::uint64_t offset, const std::uint8_t* data, std::size_t size, std::string& error);
    bool WriteFats(std::string& error);
    bool WriteRootFolder(std::string& error);
    bool WriteBootRecord(std::string& error);
    std::string PaddedLabel() const;

    SectorDevice& m_device;
    Settings m_settings;
    Listener m_listener;
    Layout m_layout;
    std::vector<std::uint8_t> m_bootSector;
    std::uint32_t m_serial = 0;
    std::uint16_t m_dosDate = 0;
    std::uint16_t m_dosTime = 0;
    std::uint64_t m_workBytes = 0;
    std::uint64_t m_doneBytes = 0;
    PercentSequence m_percents;
};

} // namespace platform
