#include "platform/win32/LargeVolumeFormat.h"

#include "platform/disk/AlignedBuffer.h"
#include "platform/win32/Volume.h"
#include "platform/win32/VolumeSectorDevice.h"

#include <cwctype>

namespace platform::win32 {

bool LargeVolumeFormat::IsNeeded(const std::wstring& fileSystem, std::uint64_t volumeLength)
{
    std::wstring upper;
    for (wchar_t c : fileSystem)
        upper.push_back(static_cast<wchar_t>(std::towupper(c)));
    return upper == L"FAT32" && volumeLength > kFormatServiceFat32Limit;
}

LargeVolumeFormat::LargeVolumeFormat(Fat32Formatter::Settings settings, FormatCallback callback)
    : m_settings(std::move(settings))
    , m_reporter(callback)
{
}

void LargeVolumeFormat::Run(Volume& volume, std::uint64_t length)
{
    m_reporter.Line(volume.Name() + " holds " + std::to_string(length >> 20)
        + " MiB, more than the system formats as FAT32: the FAT32 volume is written directly");
    std::string error;
    if (!volume.HoldForFormat(error)) {
        m_reporter.Line(error);
        volume.Unlock();
        if (volume.InUse())
            m_reporter.CantLock();
        m_reporter.Done(false);
        return;
    }
    auto sectorSize = volume.SectorSize();
    auto partition = volume.PartitionInfo();
    if (partition)
        m_settings.hiddenSectors = static_cast<std::uint32_t>(partition->startOffset / sectorSize);
    else
        m_reporter.Line("the partition of " + volume.Name() + " is unknown; its boot sector counts no hidden sectors");

    VolumeSectorDevice device(volume.Handle(), length, sectorSize, volume.Calls());
    if (!ReachesTheEnd(device)) {
        m_reporter.Line("can't write the last sector of " + volume.Name()
            + (volume.AllowsExtendedIo() ? "" : " (it refuses extended I/O)") + "; nothing was written");
        volume.Unlock();
        m_reporter.Done(false);
        return;
    }
    bool written = Write(device);
    // A stick without a partition table (offset 0) has no type to set.
    if (written && partition && partition->isMbr && partition->startOffset != 0
        && partition->mbrType != kFat32LbaPartition) {
        if (!volume.SetMbrPartitionType(kFat32LbaPartition, error))
            m_reporter.Line(error + "; the partition keeps its old type");
        else if (!volume.UpdateDiskProperties(error))
            m_reporter.Line(error);
    }
    // The copies that follow the done report need the volume back, mounted with what was written.
    volume.Release();
    m_reporter.Done(written);
}

// The volume's last sector read and written back unchanged: a handle still bound to a smaller
// old file system fails here, before the format has erased anything.
bool LargeVolumeFormat::ReachesTheEnd(SectorDevice& device)
{
    std::uint32_t sectorSize = device.SectorSize();
    if (device.Size() < sectorSize)
        return false;
    AlignedBuffer sector(sectorSize);
    std::uint64_t last = device.Size() - sectorSize;
    return device.Read(last, sector.Data(), sectorSize) && device.Write(last, sector.Data(), sectorSize);
}

bool LargeVolumeFormat::Write(SectorDevice& device)
{
    Fat32Formatter::Listener listener;
    listener.progress = [this](std::uint32_t percent) { return m_reporter.Progress(percent); };
    listener.output = [this](const std::string& line) { m_reporter.Line(line); };
    std::string error;
    if (Fat32Formatter(device, m_settings, listener).Run(error))
        return true;
    m_reporter.Line(error);
    return false;
}

} // namespace platform::win32
