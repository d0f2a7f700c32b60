#include "platform/linux/BootLoaderInstaller.h"

#include "platform/linux/ChildProcess.h"
#include "platform/linux/FatFileWriter.h"
#include "platform/disk/MasterBootRecord.h"
#include "platform/linux/UniqueFd.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>
#include <vector>

namespace platform::linux {

BootLoaderInstaller::BootLoaderInstaller(StickVolume volume, Settings settings)
    : m_volume(std::move(volume))
    , m_settings(std::move(settings))
{
}

int BootLoaderInstaller::Run(const std::function<void(const std::string&)>& output, std::string& error)
{
    if ((m_settings.writeMbr || m_settings.makeActive) && m_volume.partitionOffset == 0) {
        error = m_volume.Name() + " has no partition table for boot code or an active flag";
        return 1;
    }
    ChildProcess::Options options;
    options.arguments = { m_settings.installerPath };
    if (m_settings.force)
        options.arguments.push_back("--force");
    options.arguments.insert(options.arguments.end(),
        { "--install", "--offset", std::to_string(m_volume.partitionOffset), m_volume.diskPath });
    // The installer runs mtools itself, found through the PATH every child gets (the CD's first).
    options.extraEnvironment = FatFileWriter::MtoolsEnvironment();
    auto child = ChildProcess::Spawn(options, error);
    if (!child)
        return 127;
    child->SetOutputSink(output);
    int status = child->Wait();
    if (status != 0) {
        error = m_settings.installerPath + " failed with status " + std::to_string(status);
        return status;
    }
    if (!PatchMasterBootRecord(error))
        return 1;
    return 0;
}

bool BootLoaderInstaller::PatchMasterBootRecord(std::string& error)
{
    std::vector<std::uint8_t> bootCode;
    if (m_settings.writeMbr) {
        UniqueFd code(::open(m_settings.mbrCodePath.c_str(), O_RDONLY | O_CLOEXEC));
        bootCode.resize(MasterBootRecord::kBootCodeSize);
        ssize_t count = code ? ::read(code.Get(), bootCode.data(), bootCode.size()) : -1;
        if (count <= 0) {
            error = "can't read the boot code " + m_settings.mbrCodePath;
            return false;
        }
        bootCode.resize(static_cast<std::size_t>(count));
    }

    UniqueFd disk(::open(m_volume.diskPath.c_str(), O_RDWR | O_CLOEXEC));
    std::uint8_t sector[MasterBootRecord::kSize];
    if (!disk || ::pread(disk.Get(), sector, sizeof sector, 0) != static_cast<ssize_t>(sizeof sector)) {
        error = "can't read the master boot record of " + m_volume.Name();
        return false;
    }
    auto record = MasterBootRecord::Parse(sector, sizeof sector);
    if (!record) {
        error = m_volume.Name() + " has no master boot record";
        return false;
    }
    if (m_settings.writeMbr)
        record->SetBootCode(bootCode.data(), bootCode.size());
    if (m_settings.makeActive && !record->MakeActive(static_cast<std::uint32_t>(m_volume.PartitionFirstSector()))) {
        error = "no partition entry for the volume at sector " + std::to_string(m_volume.PartitionFirstSector());
        return false;
    }
    if (::pwrite(disk.Get(), record->Bytes().data(), record->Bytes().size(), 0) != static_cast<ssize_t>(record->Bytes().size())
        || ::fsync(disk.Get()) != 0) {
        error = "can't write the master boot record of " + m_volume.Name() + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

} // namespace platform::linux
