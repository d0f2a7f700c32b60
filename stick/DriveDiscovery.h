#pragma once

#include "platform/Drives.h"

#include <cstdint>
#include <string>

// The drive queries behind the recovery start dialog's drive list.

constexpr std::uint32_t kDriveDescriptorBufferSize = 551;

// Sends the storage property query and then the geometry query (the second whatever the first
// gave); true when both succeeded. descriptorBuffer holds kDriveDescriptorBufferSize bytes with
// its size field set.
bool QueryDriveInfo(platform::DeviceHandle& device, std::uint8_t* descriptorBuffer, platform::DiskGeometry& geometry);

// 'A' plus the index of the lowest set bit among bits 0 to 25 (the count stops after 26).
wchar_t DriveLetterFromMask(std::uint32_t mask);

// The whole cylinders' size in bytes, multiplied in this order in unsigned 64-bit arithmetic.
std::uint64_t DriveSizeFromGeometry(const platform::DiskGeometry& geometry);

// "E (1906 MBytes)": the letter alone and the size in units of 1,048,576 bytes.
std::wstring DriveListItem(wchar_t letter, std::uint64_t sizeInBytes);

// The drive as the system names it, the known parts joined by " · ": "SanDisk Cruzer Blade ·
// /dev/sdb", a virtual stick's file, "USERDATA · SanDisk Cruzer Blade · \Device\HarddiskVolume5".
std::wstring DriveNameText(wchar_t letter);
// What the writer and the command line say they will erase: the list item and the name,
// "E (1906 MBytes) · SanDisk Cruzer Blade · /dev/sdb".
std::wstring DriveTargetText(wchar_t letter, const std::wstring& item);

// What the listing learns of one drive letter.
struct DriveProbe {
    wchar_t letter = 0;
    platform::DriveType type = platform::DriveType::Unknown;
    bool opened = false;        // the volume could be opened
    bool queried = false;       // both device queries succeeded
    std::uint32_t busType = 0;
    std::uint64_t sizeInBytes = 0;

    bool IsCandidate() const { return type == platform::DriveType::Removable || type == platform::DriveType::Fixed; }
    bool IsUsbDrive() const { return IsCandidate() && opened && queried && busType == platform::kBusTypeUsb; }
};

// The drive the program runs from (from g_szAppDir), upper case; 0 when it has no letter. It is
// never offered: formatting it would destroy the source.
wchar_t ProgramDriveLetter();

// Opens and queries one drive when it is removable or fixed.
DriveProbe ProbeDrive(wchar_t letter);

// Visits the drive mask (read once) from A upward and probes every letter, opening and querying
// removable and fixed drives only, in the order the drive list is built.
template<typename Visitor>
void ForEachDrive(Visitor visit)
{
    std::uint32_t mask = platform::GetLogicalDrives();
    for (int bit = 0; bit < 32; ++bit) {
        std::uint32_t single = 1u << bit;
        if (mask & single)
            visit(ProbeDrive(DriveLetterFromMask(single)));
    }
}
