#include "app/DriveReport.h"

#include "platform/Drives.h"
#include "platform/Utf8.h"
#include "recovery/DriveDiscovery.h"


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
    ForEachDrive([&](const DriveProbe& drive) {
        std::string line = ToUtf8(std::wstring(1, drive.letter)) + ":  " + ToUtf8(DriveNameText(drive.letter))
            + "  " + TypeName(drive.type);
        if (!drive.IsCandidate() || !drive.opened) {
            report += line + "  -  not a volume, not listed\n";
            return;
        }
        if (!drive.queried) {
            report += line + "  -  cannot be queried, not listed\n";
            return;
        }
        line += std::string("  ") + BusName(drive.busType) + "  " + std::to_string(drive.sizeInBytes) + " bytes  ";
        line += drive.IsUsbDrive() ? "\"" + ToUtf8(DriveListItem(drive.letter, drive.sizeInBytes)) + "\"" : "not USB, not listed";
        report += line + "\n";
    });
    return report;
}
