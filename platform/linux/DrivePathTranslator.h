#pragma once

#include "platform/linux/DriveTable.h"

#include <string>

namespace platform::linux {

// Drive paths ("D:\ISOLINUX\vmlinuz") to the files the system opens, and back, over a drive
// table. Only the CD root's letter has files: it is matched without regard to ASCII case, as
// Windows paths are, and "." and ".." never climb above it. See docs/drives.md.
class DrivePathTranslator {
public:
    explicit DrivePathTranslator(const DriveTable& table)
        : m_table(table)
    {
    }

    // The file below the CD root; empty for another drive's letter (its volume has no files
    // here); a path without a drive letter unchanged.
    std::string ToNativePath(const std::wstring& drivePath) const;
    // "D:\..." for a path below the CD root; any other unchanged.
    std::wstring ToDrivePath(const std::string& nativePath) const;

private:
    const DriveTable& m_table;
};

} // namespace platform::linux
