#pragma once

#include "platform/linux/StickVolume.h"

#include <cstdint>
#include <functional>
#include <string>

namespace platform::linux {

// Formats a stick: a fresh master boot record with one FAT32 partition from 1 MiB to the end,
// a pass of zeros over the partition (skipped by a quick format), then the file system made by
// mkfs.fat. Works the same on a block device and an image file. The caller holds the disk.
class VolumeFormatter {
public:
    struct Settings {
        std::string label = "VarnMID";
        std::uint32_t clusterSize = 4096;
        bool quick = false;
        std::size_t chunkSize = 4 * 1024 * 1024;
    };
    struct Listener {
        // Each percentage 0..100 once, in order; false stops the format.
        std::function<bool(std::uint32_t percent)> progress;
        // mkfs.fat's output, line by line.
        std::function<void(const std::string& line)> output;
    };

    VolumeFormatter(StickVolume layout, Settings settings, Listener listener);

    // True when the disk holds the new, synced volume; otherwise `error` says why.
    bool Run(std::string& error);

    const StickVolume& Layout() const { return m_layout; }

private:
    bool WritePartitionTable(int disk, std::string& error);
    bool ZeroRange(int disk, std::uint64_t offset, std::uint64_t length, std::string& error);
    bool ZeroPartition(std::string& error);
    // The start of the partition that mkfs.fat writes sector by sector: the zero pass leaves it
    // in the page cache, so mkfs.fat finds it there instead of reading every page from the stick.
    bool MakeFileSystem(std::string& error);
    bool CopyFileSystemArea(int scratch, std::string& error);
    bool ReportUpTo(std::uint32_t percent);

    StickVolume m_layout;
    Settings m_settings;
    Listener m_listener;
    int m_nextPercent = 0;
};

} // namespace platform::linux
