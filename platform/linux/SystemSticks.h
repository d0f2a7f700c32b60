#pragma once

#include "platform/Sticks.h"

namespace platform::linux {

// Linux's sticks: the drive table's USB disks and virtual sticks, held as whole disks.
class SystemSticks final : public Sticks {
public:
    std::vector<DriveFacts> ListDrives() override;
    bool IsDriveStill(wchar_t letter, const std::wstring& identity) override;
    StickHoldResult Hold(wchar_t letter, const std::wstring& identity) override;
    std::vector<std::string> MissingTools() override;
    std::wstring FindInstaller(const std::wstring& program) override;
    std::string SourceFilePath(const std::wstring& drivePath) override;
};

} // namespace platform::linux
