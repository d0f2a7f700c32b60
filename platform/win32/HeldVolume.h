#pragma once

#include "platform/Sticks.h"

#include <cstdint>
#include <vector>

namespace platform::win32 {

// A stick's volume for the length of a job. Nothing to hold beyond the job's identity check
// before each step: the format service locks the volume while it formats, and the copies and
// the installer go through the file system, which a locked volume refuses.
class HeldVolume final : public HeldStick {
public:
    explicit HeldVolume(wchar_t letter);

    // The disk laid out anew (DiskLayout); the volume is then bound by its letter and identity
    // as the system mounted it.
    LayoutOutcome LayOut(wchar_t& letter, std::wstring& identity, std::string& detail) override;
    // FAT32 through the format library's FormatEx, or our own writer above 32 GB (its trampoline).
    FormatOutcome Format(const FormatRequest& request, const FormatProgress& progress) override;
    // CopyFileW, or CopyFileExW with CopyProgressProc when progress is asked for.
    bool CopyIn(const std::wstring& source, const std::wstring& name, const CopyProgress& progress) override;
    ReadBackResult ReadBack(const std::wstring& source, const std::wstring& name, std::string& detail) override;
    // "<program> -fma E:": the installer's file started directly, its path quoted.
    int InstallBootLoader(const std::wstring& program) override;
    bool ReadBackBootPieces(std::string& detail) override;

private:
    std::wstring m_root; // "E:"
    std::vector<std::uint8_t> m_bootSectorBefore; // the volume's, as the format left it
};

} // namespace platform::win32
