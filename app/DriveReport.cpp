#include "app/DriveReport.h"

#include "platform/Sticks.h"
#include "platform/files/Utf8.h"
#include "stick/DriveListItem.h"
#include "stick/OfferedDrive.h"


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

const char* BusName(platform::DriveBus bus)
{
    switch (bus) {
    case platform::DriveBus::Usb:
        return "usb";
    case platform::DriveBus::Sata:
        return "sata";
    case platform::DriveBus::Nvme:
        return "nvme";
    case platform::DriveBus::Sd:
        return "sd";
    case platform::DriveBus::Ata:
        return "ata";
    default:
        return "other";
    }
}

} // namespace

std::string DescribeDrives()
{
    std::string report;
    for (const platform::DriveFacts& drive : platform::Sticks::System().ListDrives()) {
        std::string line = ToUtf8(std::wstring(1, drive.letter)) + ":  " + ToUtf8(DriveNameText(drive.IsUsbDrive() ? drive.name : platform::NameDrive(drive.letter)))
            + "  " + TypeName(drive.type);
        if (!drive.IsCandidate() || !drive.opened) {
            report += line + "  -  not a volume, not listed\n";
            continue;
        }
        if (!drive.queried) {
            report += line + "  -  cannot be queried, not listed\n";
            continue;
        }
        line += std::string("  ") + BusName(drive.bus) + "  " + std::to_string(DriveSizeFromGeometry(drive.geometry)) + " bytes  ";
        if (IsOfferedDrive(drive))
            line += "\"" + ToUtf8(DriveListItem(drive)) + "\"";
        else
            line += drive.IsUsbDrive() ? "the program's own drive, not listed" : "not USB, not listed";
        report += line + "\n";
    }
    return report;
}
