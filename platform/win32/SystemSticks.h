#pragma once

#include "platform/Sticks.h"

namespace platform::win32 {

// Windows' sticks: the USB drives of the logical drive mask, found with the storage and
// geometry queries; a held stick is its volume, checked before every step (HeldVolume).
class SystemSticks final : public Sticks {
public:
    std::vector<DriveFacts> ListDrives() override;
    bool IsDriveStill(wchar_t letter, const std::wstring& identity) override;
    StickHoldResult Hold(wchar_t letter, const std::wstring& identity) override;
    // The format library, looked up again; "fmifs.dll" when it or an entry point is missing.
    std::vector<std::string> MissingTools() override;
    std::wstring FindInstaller(const std::wstring& program) override;
    std::string SourceFilePath(const std::wstring& drivePath) override;
};

} // namespace platform::win32
