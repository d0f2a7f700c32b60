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
