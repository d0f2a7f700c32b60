#include "app/DriveReport.h"

#include "platform/Drives.h"
#include "platform/Utf8.h"
#include "recovery/DriveDiscovery.h"

#include <vector>

namespace {

const char* TypeName(platform::DriveType type)
{
    switch (type) {
    case platform::DriveType::Removable:
        return "removable";
    case platform::DriveType::Fixed:
        return "fixed";
    case platform::DriveType::CdRom:
        return "cd";
    case platform::DriveType::Remote:
        return "remote";
    case platform::DriveType::RamDisk:
        return "ramdisk";
    default:
        return "unknown";
    }
}

const char* BusName(std::uint32_t bus)
{
    switch (bus) {
    case 7:
        return "usb";
    case 11:
        return "sata";
    case 17:
        return "nvme";
    case 12:
        return "sd";
    case 3:
        return "ata";
    default:
        return "other";
    }
}

} // namespace

std::string DescribeDrives()
{
    std::string report;
    std::uint32_t mask = platform::GetLogicalDrives();
    for (int bit = 0; bit < 26; ++bit) {
        if (!(mask & (1u << bit)))
            continue;
        wchar_t letter = static_cast<wchar_t>(L'A' + bit);
        std::wstring root = std::wstring(1, letter) + L":\\";
        platform::DriveType type = platform::GetDriveTypeW(root);
        std::string line = ToUtf8(std::wstring(1, letter)) + ":  " + ToUtf8(platform::DescribeDriveSource(letter)) + "  "
            + TypeName(type);

        platform::DeviceHandle device = platform::CreateFileW(L"\\\\?\\" + std::wstring(1, letter) + L":");
        if (!device.IsValid()) {
            report += line + "  -  not a volume, not listed\n";
            continue;
        }
        std::vector<std::uint8_t> buffer(kDriveDescriptorBufferSize);
        auto* descriptor = reinterpret_cast<platform::StorageDeviceDescriptor*>(buffer.data());
        descriptor->size = kDriveDescriptorBufferSize;
        platform::DiskGeometry geometry {};
        if (!QueryDriveInfo(device, buffer.data(), geometry)) {
            report += line + "  -  cannot be queried, not listed\n";
            continue;
        }
        std::uint64_t size = DriveSizeFromGeometry(geometry);
        line += std::string("  ") + BusName(descriptor->busType) + "  " + std::to_string(size) + " bytes  ";
        bool listed = descriptor->busType == platform::kBusTypeUsb
            && (type == platform::DriveType::Removable || type == platform::DriveType::Fixed);
        line += listed ? "\"" + ToUtf8(DriveListItem(letter, size)) + "\"" : "not USB, not listed";
        report += line + "\n";
    }
    return report;
}
