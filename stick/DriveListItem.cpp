#include "stick/DriveListItem.h"

std::uint64_t DriveSizeFromGeometry(const platform::DriveGeometry& geometry)
{
    std::uint64_t size = geometry.bytesPerSector;
    size *= geometry.sectorsPerTrack;
    size *= geometry.tracksPerCylinder;
    size *= static_cast<std::uint64_t>(geometry.cylinders);
    return size;
}

std::wstring DriveListItem(wchar_t letter, std::uint64_t sizeInBytes)
{
    auto megabytes = static_cast<std::int64_t>(sizeInBytes >> 20);
    return std::wstring(1, letter) + L" (" + std::to_wstring(megabytes) + L" MBytes)";
}

std::wstring DriveListItem(const platform::DriveFacts& drive)
{
    return DriveListItem(drive.letter, DriveSizeFromGeometry(drive.geometry));
}

std::wstring DriveNameText(const platform::DriveName& name)
{
    std::wstring text;
    for (const std::wstring* part : { &name.label, &name.model, &name.location }) {
        if (!part->empty())
            text += (text.empty() ? L"" : L" \u00B7 ") + *part;
    }
    return text;
}

std::wstring DriveTargetText(wchar_t letter, const std::wstring& item)
{
    std::wstring name = DriveNameText(platform::NameDrive(letter));
    return name.empty() ? item : item + L" \u00B7 " + name;
}
