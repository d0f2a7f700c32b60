#pragma once

#include "platform/Sticks.h"

#include <cstdint>
#include <string>

// The drives as the program shows them: the drive list's items and the names after them, for the
// start dialog, the writer and the command line alike.

// The whole cylinders' size in bytes, multiplied in this order in unsigned 64-bit arithmetic.
std::uint64_t DriveSizeFromGeometry(const platform::DriveGeometry& geometry);

// "E (1906 MBytes)": the letter alone and the size in units of 1,048,576 bytes.
std::wstring DriveListItem(wchar_t letter, std::uint64_t sizeInBytes);
std::wstring DriveListItem(const platform::DriveFacts& drive);

// The drive as the system names it, the known parts joined by " · ": "SanDisk Cruzer Blade ·
// /dev/sdb", a virtual stick's file, "USERDATA · SanDisk Cruzer Blade · \Device\HarddiskVolume5".
std::wstring DriveNameText(const platform::DriveName& name);
// What the writer and the command line say they will erase: the list item and the name,
// "E (1906 MBytes) · SanDisk Cruzer Blade · /dev/sdb".
std::wstring DriveTargetText(wchar_t letter, const std::wstring& item);
