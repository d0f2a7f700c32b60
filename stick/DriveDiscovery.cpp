#include "recovery/DriveDiscovery.h"

#include "app/Globals.h"

#include <cwctype>
#include <vector>

bool QueryDriveInfo(platform::DeviceHandle& device, std::uint8_t* descriptorBuffer, platform::DiskGeometry& geometry)
{
    platform::StoragePropertyQuery query;
    auto* descriptor = reinterpret_cast<platform::StorageDeviceDescriptor*>(descriptorBuffer);
    std::uint32_t returned = 0;
    bool propertyOk = platform::DeviceIoControl(device, platform::kIoctlStorageQueryProperty, &query, sizeof query,
        descriptorBuffer, descriptor->size, &returned);
    bool geometryOk = platform::DeviceIoControl(device, platform::kIoctlDiskGetDriveGeometry, nullptr, 0, &geometry,
        sizeof geometry, &returned);
    return propertyOk && geometryOk;
}

wchar_t DriveLetterFromMask(std::uint32_t mask)
{
    int index = 0;
    while (index < 26 && !(mask & 1u)) {
        mask >>= 1;
        ++index;
    }
    return static_cast<wchar_t>(L'A' + index);
}

std::uint64_t DriveSizeFromGeometry(const platform::DiskGeometry& geometry)
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

std::wstring DriveNameText(wchar_t letter)
{
    platform::DriveName name = platform::NameDrive(letter);
    std::wstring text;
    for (const std::wstring* part : { &name.label, &name.model, &name.location }) {
        if (!part->empty())
            text += (text.empty() ? L"" : L" \u00B7 ") + *part;
    }
    return text;
}

std::wstring DriveTargetText(wchar_t letter, const std::wstring& item)
{
    std::wstring name = DriveNameText(letter);
    return name.empty() ? item : item + L" \u00B7 " + name;
}

wchar_t ProgramDriveLetter()
{
    if (g_szAppDir[0] && g_szAppDir[1] == L':')
        return static_cast<wchar_t>(std::towupper(g_szAppDir[0]));
    return 0;
}

DriveProbe ProbeDrive(wchar_t letter)
{
    DriveProbe probe;
    probe.letter = letter;
    probe.type = platform::GetDriveTypeW(std::wstring(1, letter) + L":\\");
    if (!probe.IsCandidate())
        return probe;
    platform::DeviceHandle device = platform::CreateFileW(L"\\\\?\\" + std::wstring(1, letter) + L":");
    probe.opened = device.IsValid();
    if (!probe.opened)
        return probe;
    // A fresh buffer for every drive, its size field set before the query.
    std::vector<std::uint8_t> descriptorBuffer(kDriveDescriptorBufferSize);
    auto* descriptor = reinterpret_cast<platform::StorageDeviceDescriptor*>(descriptorBuffer.data());
    descriptor->size = kDriveDescriptorBufferSize;
    platform::DiskGeometry geometry {};
    probe.queried = QueryDriveInfo(device, descriptorBuffer.data(), geometry);
    probe.busType = descriptor->busType;
    probe.sizeInBytes = DriveSizeFromGeometry(geometry);
    return probe;
}
