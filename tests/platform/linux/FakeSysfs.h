#pragma once

// A sysfs and /dev tree in a temporary folder, laid out like the kernel's: /sys/block/X is a
// symlink into /sys/devices, and X/device a relative symlink to the device's folder, so the
// USB test follows the same chain of links as on a real machine.

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace fs = std::filesystem;

class TempFolder {
public:
    TempFolder()
    {
        std::string pattern = (fs::temp_directory_path() / "arkeven-drives-XXXXXX").string();
        if (!::mkdtemp(pattern.data()))
            std::abort();
        m_path = pattern;
    }
    ~TempFolder()
    {
        std::error_code error;
        fs::remove_all(m_path, error);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const fs::path& Path() const { return m_path; }

private:
    fs::path m_path;
};

inline void WriteText(const fs::path& path, const std::string& text)
{
    fs::create_directories(path.parent_path());
    std::ofstream(path) << text;
}

inline void WriteSizedFile(const fs::path& path, std::uint64_t size)
{
    fs::create_directories(path.parent_path());
    std::ofstream(path).close();
    fs::resize_file(path, size);
}

class FakeSysfs {
public:
    // Device folders as the kernel names them, relative to /sys/devices.
    static constexpr const char* kUsbStick = "pci0000:00/0000:00:14.0/usb1/1-1/1-1:1.0/host6/target6:0:0/6:0:0:0";
    static constexpr const char* kUsbSataDisk = "pci0000:00/0000:00:14.0/usb2/2-3/2-3:1.0/host7/target7:0:0/7:0:0:0";
    static constexpr const char* kCardReader = "pci0000:00/0000:00:14.0/usb1/1-4/1-4.2/1-4.2:1.0/host8/target8:0:0/8:0:0:0";
    static constexpr const char* kSataDisk = "pci0000:00/0000:00:17.0/ata1/host0/target0:0:0/0:0:0:0";
    static constexpr const char* kNvmeController = "pci0000:00/0000:00:1d.0/0000:3d:00.0/nvme/nvme0";

    explicit FakeSysfs(fs::path root)
        : m_sys(root / "sys")
        , m_dev(root / "dev")
    {
        fs::create_directories(m_sys / "block");
        fs::create_directories(m_sys / "dev" / "block");
        fs::create_directories(m_dev);
    }

    std::string SysRoot() const { return m_sys.string(); }
    std::string DevRoot() const { return m_dev.string(); }

    // A SCSI-style disk: <device>/block/<name>.
    void AddScsiDisk(const std::string& name, const std::string& device, std::uint64_t sectors, bool removable, std::uint32_t sectorSize = 512)
    {
        AddDisk(name, fs::path(device) / "block" / name, device, sectors, removable, sectorSize);
    }

    // An NVMe namespace: <controller>/<name>, its device link pointing at the controller.
    void AddNvmeDisk(const std::string& name, std::uint64_t sectors)
    {
        AddDisk(name, fs::path(kNvmeController) / name, kNvmeController, sectors, false, 512);
    }

    void AddDisk(const std::string& name, const fs::path& blockDir, const fs::path& deviceDir, std::uint64_t sectors, bool removable, std::uint32_t sectorSize)
    {
        fs::path dir = m_sys / "devices" / blockDir;
        fs::create_directories(dir / "queue");
        fs::create_directories(m_sys / "devices" / deviceDir);
        WriteText(dir / "size", std::to_string(sectors) + "\n");
        WriteText(dir / "removable", removable ? "1\n" : "0\n");
        WriteText(dir / "queue" / "logical_block_size", std::to_string(sectorSize) + "\n");
        WriteText(m_sys / "devices" / deviceDir / "vendor", "Vendor  \n");
        WriteText(m_sys / "devices" / deviceDir / "model", "Model " + name + "   \n");
        fs::create_directory_symlink(fs::relative(m_sys / "devices" / deviceDir, dir), dir / "device");
        fs::create_directory_symlink(fs::relative(dir, m_sys / "block"), m_sys / "block" / name);
        WriteText(m_dev / name, "");
    }

    // The kernel's files of a disk that change with its medium: "size" (in 512-byte units), "ro".
    void SetDiskFile(const std::string& disk, const std::string& file, const std::string& value)
    {
        WriteText(fs::canonical(m_sys / "block" / disk) / file, value + "\n");
    }

    void AddPartition(const std::string& disk, const std::string& partition)
    {
        fs::path dir = fs::canonical(m_sys / "block" / disk) / partition;
        WriteText(dir / "partition", "1\n");
    }

    void RemoveDisk(const std::string& name)
    {
        fs::path dir = fs::canonical(m_sys / "block" / name);
        fs::remove(m_sys / "block" / name);
        fs::remove_all(dir);
    }

    // /sys/dev/block/M:m -> the folder of `disk` or of one of its partitions.
    void MapDeviceNumber(dev_t number, const std::string& disk, const std::string& partition = {})
    {
        fs::path target = fs::canonical(m_sys / "block" / disk);
        if (!partition.empty())
            target /= partition;
        std::string name = std::to_string(major(number)) + ":" + std::to_string(minor(number));
        fs::create_directory_symlink(fs::relative(target, m_sys / "dev" / "block"), m_sys / "dev" / "block" / name);
    }

    // /sys/block/<upper>/slaves/<lower>: a device-mapper disk built on a partition of another.
    void AddSlave(const std::string& upper, const std::string& lowerDisk, const std::string& lowerPartition)
    {
        fs::path slaves = fs::canonical(m_sys / "block" / upper) / "slaves";
        fs::create_directories(slaves);
        fs::path target = fs::canonical(m_sys / "block" / lowerDisk) / lowerPartition;
        fs::create_directory_symlink(fs::relative(target, slaves), slaves / lowerPartition);
    }

private:
    fs::path m_sys;
    fs::path m_dev;
};
