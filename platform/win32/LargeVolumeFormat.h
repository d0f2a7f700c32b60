#pragma once

#include "platform/disk/Fat32Formatter.h"
#include "platform/win32/FormatLibrary.h"
#include "platform/win32/FormatReporter.h"

#include <string>

namespace platform::win32 {

class Volume;

// FAT32 on volumes larger than the system's format service makes it for (32 GB): the volume is
// held for the format (Volume::HoldForFormat), written by Fat32Formatter, its MBR partition typed FAT32 (LBA), and every
// step reported through the FormatEx callback, so the caller sees the service's protocol.
class LargeVolumeFormat {
public:
    static constexpr std::uint64_t kFormatServiceFat32Limit = 32ull << 30;
    static constexpr std::uint8_t kFat32LbaPartition = 0x0C;

    static bool IsNeeded(const std::wstring& fileSystem, std::uint64_t volumeLength);

    LargeVolumeFormat(Fat32Formatter::Settings settings, FormatCallback callback);

    // The whole format of an open volume, ending with the done report.
    void Run(Volume& volume, std::uint64_t length);
    // Whether the device's last sector can be read and written (with the same bytes).
    static bool ReachesTheEnd(SectorDevice& device);
    // Lays the file system on a device, with progress and text reports; no done report.
    bool Write(SectorDevice& device);

private:
    Fat32Formatter::Settings m_settings;
    FormatReporter m_reporter;
};

} // namespace platform::win32
