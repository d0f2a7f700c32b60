#include "platform/disk/Fat32Formatter.h"

#include "platform/disk/AlignedBuffer.h"
#include "platform/disk/LittleEndian.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <ctime>

namespace platform {

namespace {

constexpr std::uint32_t kFirstReservedSectors = 32;
constexpr std::uint32_t kRootCluster = 2;
constexpr std::uint8_t kMedia = 0xF8;
constexpr std::uint32_t kEndOfChain = 0x0FFFFFFF;
constexpr std::uint8_t kVolumeLabelAttribute = 0x08;

struct LocalTime {
    std::tm parts {};
    int hundredths = 0;
};

LocalTime Now()
{
    auto now = std::chrono::system_clock::now();
    std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    LocalTime local;
#ifdef _WIN32
    ::localtime_s(&local.parts, &seconds);
#else
    ::localtime_r(&seconds, &local.parts);
#endif
    auto millis = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
    local.hundredths = static_cast<int>(millis / 10);
    return local;
}

std::string Mebibytes(std::uint64_t bytes)
{
    return std::to_string(bytes / (1024 * 1024)) + " MiB";
}

bool IsPowerOfTwo(std::uint32_t value)
{
    return value && (value & (value - 1)) == 0;
}

} // namespace

std::uint64_t Fat32Formatter::Layout::FatOffset(int index) const
{
    return (std::uint64_t(reservedSectors) + std::uint64_t(index) * fatSectors) * sectorSize;
}

std::uint64_t Fat32Formatter::Layout::DataOffset() const
{
    return FatOffset(kFatCount);
}

std::optional<Fat32Formatter::Layout> Fat32Formatter::Plan(std::uint64_t volumeSize, std::uint32_t sectorSize,
    std::uint32_t clusterSize, std::string& error)
{
    if (sectorSize < 512 || sectorSize > 4096 || !IsPowerOfTwo(sectorSize)) {
        error = "unsupported sector size " + std::to_string(sectorSize);
        return std::nullopt;
    }
    if (clusterSize < sectorSize || !IsPowerOfTwo(clusterSize) || clusterSize / sectorSize > 128) {
        error = "cluster size " + std::to_string(clusterSize) + " doesn't fit sectors of " + std::to_string(sectorSize);
        return std::nullopt;
    }
    std::uint64_t sectors = volumeSize / sectorSize;
    if (sectors > 0xFFFFFFFFull) {
        error = "a volume of " + Mebibytes(volumeSize) + " has more sectors than FAT32 can count";
        return std::nullopt;
    }

    Layout layout;
    layout.sectorSize = sectorSize;
    layout.sectorsPerCluster = clusterSize / sectorSize;
    layout.totalSectors = static_cast<std::uint32_t>(sectors);
    std::uint64_t perCluster = layout.sectorsPerCluster;
    std::uint64_t entriesPerSector = sectorSize / 4;
    if (sectors <= kFirstReservedSectors + kFatCount) {
        error = "a volume of " + Mebibytes(volumeSize) + " is too small for FAT32";
        return std::nullopt;
    }
    // Each FAT holds an entry for every cluster of the data area plus the two reserved ones, and
    // the data area is what the reserved sectors and the two FATs leave:
    //   fat * entriesPerSector >= (sectors - reserved - 2 * fat) / perCluster + 2
    // so fat = ceil((sectors - reserved + 2 * perCluster) / (entriesPerSector * perCluster + 2)).
    std::uint64_t fat = (sectors - kFirstReservedSectors + 2 * perCluster + entriesPerSector * perCluster + 1)
        / (entriesPerSector * perCluster + 2);
    // More reserved sectors put the data area on a cluster boundary; the FATs only get roomier.
    std::uint64_t reserved = kFirstReservedSectors;
    reserved += (perCluster - (reserved + kFatCount * fat) % perCluster) % perCluster;
    if (sectors <= reserved + kFatCount * fat) {
        error = "a volume of " + Mebibytes(volumeSize) + " is too small for FAT32";
        return std::nullopt;
    }
    std::uint64_t clusters = (sectors - reserved - kFatCount * fat) / perCluster;
    if (clusters < kMinimumClusters) {
        error = "a volume of " + Mebibytes(volumeSize) + " holds " + std::to_string(clusters) + " clusters of "
            + std::to_string(clusterSize) + " bytes; FAT32 needs at least " + std::to_string(kMinimumClusters);
        return std::nullopt;
    }
    if (clusters > kMaximumClusters) {
        error = "a volume of " + Mebibytes(volumeSize) + " has more clusters of " + std::to_string(clusterSize)
            + " bytes than FAT32 can count";
        return std::nullopt;
    }
    layout.reservedSectors = static_cast<std::uint32_t>(reserved);
    layout.fatSectors = static_cast<std::uint32_t>(fat);
    layout.clusterCount = static_cast<std::uint32_t>(clusters);
    return layout;
}

Fat32Formatter::Fat32Formatter(SectorDevice& device, Settings settings, Listener listener)
    : m_device(device)
    , m_settings(std::move(settings))
    , m_listener(std::move(listener))
    , m_percents(m_listener.progress)
{
}

std::string Fat32Formatter::PaddedLabel() const
{
    std::string label = m_settings.label.empty() ? "NO NAME" : m_settings.label;
    label.resize(11, ' ');
    return label;
}

bool Fat32Formatter::Run(std::string& error)
{
    auto layout = Plan(m_device.Size(), m_device.SectorSize(), m_settings.clusterSize, error);
    if (!layout)
        return false;
    m_layout = *layout;
    if (m_settings.label.size() > 11) {
        error = "the volume label \"" + m_settings.label + "\" is longer than 11 characters";
        return false;
    }
    if (m_settings.chunkSize < AlignedBuffer::kAlignment)
        m_settings.chunkSize = AlignedBuffer::kAlignment;
    m_settings.chunkSize -= m_settings.chunkSize % AlignedBuffer::kAlignment;

    StampFromClock();

    std::uint64_t reservedBytes = std::uint64_t(m_layout.reservedSectors) * m_layout.sectorSize;
    std::uint64_t systemBytes = 2 * reservedBytes + kFatCount * std::uint64_t(m_layout.fatSectors) * m_layout.sectorSize
        + m_layout.ClusterSize();
    m_workBytes = systemBytes + (m_settings.quick ? 0 : m_layout.DataSize());
    m_doneBytes = 0;
    m_percents = PercentSequence(m_listener.progress);
    if (!m_percents.UpTo(0)) {
        error = "format cancelled";
        return false;
    }
    if (m_listener.output)
        m_listener.output("FAT32: " + std::to_string(m_layout.clusterCount) + " clusters of "
            + std::to_string(m_layout.ClusterSize()) + " bytes, FATs of " + std::to_string(m_layout.fatSectors)
            + " sectors" + (m_settings.quick ? "" : ", data area cleared first"));

    // The old boot sector goes first, so a format stopped half way leaves no volume that claims
    // the clusters already cleared.
    if (!WriteZeros(0, reservedBytes, error))
        return false;
    if (!m_settings.quick && !WriteZeros(m_layout.DataOffset(), m_layout.DataSize(), error))
        return false;
    if (!WriteFats(error) || !WriteRootFolder(error) || !WriteBootRecord(error))
        return false;
    if (!m_device.Flush()) {
        error = "can't flush the volume";
        return false;
    }

    if (!BootSectorReadsBack()) {
        error = "the volume's boot sector did not read back as written";
        return false;
    }
    if (!m_percents.UpTo(100)) {
        error = "format cancelled";
        return false;
    }
    return true;
}

void Fat32Formatter::StampFromClock()
{
    auto now = Now();
    const std::tm& time = now.parts;
    m_dosDate = static_cast<std::uint16_t>((time.tm_year - 80) << 9 | (time.tm_mon + 1) << 5 | time.tm_mday);
    m_dosTime = static_cast<std::uint16_t>(time.tm_hour << 11 | time.tm_min << 5 | time.tm_sec / 2);
    // Date and time folded into two words, so two formats a moment apart get different serials.
    std::uint32_t high = static_cast<std::uint32_t>(time.tm_hour << 8 | time.tm_min) + 1900 + time.tm_year;
    std::uint32_t low = static_cast<std::uint32_t>((time.tm_mon + 1) << 8 | time.tm_mday)
        + static_cast<std::uint32_t>(time.tm_sec << 8 | now.hundredths);
    m_serial = (high & 0xFFFF) << 16 | (low & 0xFFFF);
}

bool Fat32Formatter::BootSectorReadsBack()
{
    AlignedBuffer sector(m_layout.sectorSize);
    for (std::uint64_t at : { std::uint64_t(0), std::uint64_t(kBackupBootSector) * m_layout.sectorSize }) {
        if (!m_device.Read(at, sector.Data(), sector.Size())
            || !std::equal(m_bootSector.begin(), m_bootSector.end(), sector.Data()))
            return false;
    }
    return true;
}

bool Fat32Formatter::WriteBlock(std::uint64_t offset, const std::uint8_t* data, std::size_t size, std::string& error)
{
    if (!m_device.Write(offset, data, size)) {
        error = "can't write to the volume at byte " + std::to_string(offset);
        return false;
    }
    m_doneBytes += size;
    // 100 waits for the flush and the read-back.
    auto percent = std::min<std::uint64_t>(m_doneBytes * 100 / std::max<std::uint64_t>(m_workBytes, 1), 99);
    if (!m_percents.UpTo(static_cast<std::uint32_t>(percent))) {
        error = "format cancelled";
        return false;
    }
    return true;
}

bool Fat32Formatter::WriteZeros(std::uint64_t offset, std::uint64_t length, std::string& error)
{
    AlignedBuffer zeros(static_cast<std::size_t>(std::min<std::uint64_t>(length, m_settings.chunkSize)));
    while (length > 0) {
        auto chunk = static_cast<std::size_t>(std::min<std::uint64_t>(length, zeros.Size()));
        if (!WriteBlock(offset, zeros.Data(), chunk, error))
            return false;
        offset += chunk;
        length -= chunk;
    }
    return true;
}

bool Fat32Formatter::WriteFats(std::string& error)
{
    std::uint64_t fatBytes = std::uint64_t(m_layout.fatSectors) * m_layout.sectorSize;
    AlignedBuffer head(m_layout.sectorSize);
    PutLittle32(head.Data(), 0x0FFFFF00u | kMedia);
    PutLittle32(head.Data() + 4, kEndOfChain);
    PutLittle32(head.Data() + 8, kEndOfChain); // the root folder: one cluster
    for (std::uint32_t index = 0; index < kFatCount; ++index) {
        auto offset = m_layout.FatOffset(static_cast<int>(index));
        if (!WriteBlock(offset, head.Data(), head.Size(), error) || !WriteZeros(offset + head.Size(), fatBytes - head.Size(), error))
            return false;
    }
    return true;
}

bool Fat32Formatter::WriteRootFolder(std::string& error)
{
    AlignedBuffer cluster(m_layout.ClusterSize());
    if (!m_settings.label.empty()) {
        std::uint8_t* entry = cluster.Data();
        auto label = PaddedLabel();
        std::memcpy(entry, label.data(), 11);
        entry[11] = kVolumeLabelAttribute;
        PutLittle16(entry + 22, m_dosTime);
        PutLittle16(entry + 24, m_dosDate);
    }
    return WriteBlock(m_layout.DataOffset(), cluster.Data(), cluster.Size(), error);
}

bool Fat32Formatter::WriteBootRecord(std::string& error)
{
    const auto sectorSize = m_layout.sectorSize;
    AlignedBuffer reserved(std::size_t(m_layout.reservedSectors) * sectorSize);

    std::uint8_t* boot = reserved.Data();
    const std::uint8_t jump[] = { 0xEB, 0x58, 0x90 };
    std::memcpy(boot, jump, sizeof jump);
    std::memcpy(boot + 0x03, "MSWIN4.1", 8);
    PutLittle16(boot + 0x0B, static_cast<std::uint16_t>(sectorSize));
    boot[0x0D] = static_cast<std::uint8_t>(m_layout.sectorsPerCluster);
    PutLittle16(boot + 0x0E, static_cast<std::uint16_t>(m_layout.reservedSectors));
    boot[0x10] = kFatCount;
    boot[0x15] = kMedia;
    PutLittle16(boot + 0x18, 63);  // sectors per track and heads: the geometry the partition
    PutLittle16(boot + 0x1A, 255); // table's CHS fields use
    PutLittle32(boot + 0x1C, m_settings.hiddenSectors);
    PutLittle32(boot + 0x20, m_layout.totalSectors);
    PutLittle32(boot + 0x24, m_layout.fatSectors);
    PutLittle32(boot + 0x2C, kRootCluster);
    PutLittle16(boot + 0x30, kFsInfoSector);
    PutLittle16(boot + 0x32, kBackupBootSector);
    boot[0x40] = 0x80;
    boot[0x42] = 0x29;
    PutLittle32(boot + 0x43, m_serial);
    auto label = PaddedLabel();
    std::memcpy(boot + 0x47, label.data(), 11);
    std::memcpy(boot + 0x52, "FAT32   ", 8);
    // Booted as it is, the volume hands the machine back to the firmware: int 18h.
    const std::uint8_t notBootable[] = { 0xCD, 0x18, 0xEB, 0xFE };
    std::memcpy(boot + 0x5A, notBootable, sizeof notBootable);
    boot[510] = 0x55;
    boot[511] = 0xAA;

    std::uint8_t* info = boot + std::size_t(kFsInfoSector) * sectorSize;
    PutLittle32(info, 0x41615252);
    PutLittle32(info + 484, 0x61417272);
    PutLittle32(info + 488, m_layout.clusterCount - 1); // all free but the root folder's
    PutLittle32(info + 492, kRootCluster + 1);
    PutLittle32(info + 508, 0xAA550000);

    std::memcpy(boot + std::size_t(kBackupBootSector) * sectorSize, boot, 2 * std::size_t(sectorSize));
    m_bootSector.assign(boot, boot + sectorSize);
    return WriteBlock(0, reserved.Data(), reserved.Size(), error);
}

} // namespace platform
