#include "platform/win32/HeldVolume.h"

#include "platform/Drives.h"
#include "platform/Sticks.h"
#include "platform/win32/CommandInterpreter.h"
#include "platform/win32/DiskLayout.h"
#include "platform/win32/FileCopy.h"
#include "platform/win32/FormatLibrary.h"
#include "platform/win32/ReadBack.h"

namespace platform {

namespace {

constexpr std::uint32_t kMediaHardDisk = 12;
constexpr std::uint32_t kProgressCancel = 1;

// What the format on this thread reports to: FormatEx's callback carries no context of its own,
// and the library calls it on the thread that formats.
struct FormatReports {
    const FormatProgress& progress;
    bool doneReported = false;
    bool succeeded = false;
    FormatOutcome refusal = FormatOutcome::Failed; // what the library said before it wrote anything
};
thread_local FormatReports* t_formatReports = nullptr;

} // namespace

// The callback passed to FormatEx: progress, the done report with its success byte, text lines.
bool FormatExCallback(std::uint32_t command, std::uint32_t, void* actionInfo)
{
    FormatReports* reports = t_formatReports;
    if (!reports)
        return true;
    switch (command) {
    case kFormatProgress:
        if (!actionInfo)
            return true;
        return !reports->progress.percent || reports->progress.percent(*static_cast<std::uint32_t*>(actionInfo));
    case kFormatWriteProtected:
        reports->refusal = FormatOutcome::WriteProtected;
        return true;
    case kFormatCantLock:
        reports->refusal = FormatOutcome::InUse;
        return true;
    case kFormatDone:
        reports->doneReported = true;
        reports->succeeded = actionInfo && *static_cast<std::uint8_t*>(actionInfo) != 0;
        return true;
    case kFormatOutput: {
        auto* output = static_cast<FormatTextOutput*>(actionInfo);
        if (output && output->output && reports->progress.text)
            reports->progress.text(output->output);
        return true;
    }
    default:
        return true;
    }
}

// The progress routine passed to CopyFileExW.
std::uint32_t CopyProgressProc(std::int64_t totalFileSize, std::int64_t totalBytesTransferred, std::int64_t, std::int64_t,
    std::uint32_t, std::uint32_t, void*, void*, void* data)
{
    const auto& progress = *static_cast<const CopyProgress*>(data);
    return progress(totalFileSize, totalBytesTransferred) ? kProgressContinue : kProgressCancel;
}

namespace win32 {

HeldVolume::HeldVolume(wchar_t letter)
    : m_root(std::wstring(1, letter) + L":")
{
}

LayoutOutcome HeldVolume::LayOut(wchar_t& letter, std::wstring& identity, std::string& detail)
{
    DiskLayout layout(m_root[0]);
    LayoutOutcome outcome = layout.Run(detail);
    if (outcome != LayoutOutcome::Done)
        return outcome;
    letter = layout.Letter();
    m_root = std::wstring(1, letter) + L":";
    identity = GetDriveIdentity(letter);
    return LayoutOutcome::Done;
}

FormatOutcome HeldVolume::Format(const FormatRequest& request, const FormatProgress& progress)
{
    if (!LoadFmifsEntryPoints())
        return FormatOutcome::Unfinished;
    std::wstring root = m_root + L"\\";
    FormatReports reports { progress };
    t_formatReports = &reports;
    g_pfnFormatEx(root.c_str(), kMediaHardDisk, L"FAT32", request.label.c_str(), request.quick ? 1 : 0, request.clusterSize,
        FormatExCallback);
    t_formatReports = nullptr;
    if (reports.refusal != FormatOutcome::Failed && !reports.succeeded)
        return reports.refusal;
    if (!reports.doneReported)
        return FormatOutcome::Unfinished;
    return reports.succeeded ? FormatOutcome::Done : FormatOutcome::Failed;
}

bool HeldVolume::CopyIn(const std::wstring& source, const std::wstring& name, const CopyProgress& progress)
{
    std::wstring destination = m_root + name;
    if (!progress)
        return platform::CopyFileW(source, destination, false);
    return platform::CopyFileExW(source, destination, CopyProgressProc, const_cast<CopyProgress*>(&progress), nullptr, 0);
}

ReadBackResult HeldVolume::ReadBack(const std::wstring& source, const std::wstring& name, std::string& detail)
{
    return ReadBackCopy(source, m_root + name, detail);
}

// The installer's file as the command interpreter would find it, started directly.
int HeldVolume::InstallBootLoader(const std::wstring& program)
{
    std::wstring file = Sticks::System().FindInstaller(program);
    if (file.empty())
        return -1;
    m_bootSectorBefore = ReadVolumeBootSector(m_root[0]);
    return RunProgram(file, L"-fma " + m_root);
}

bool HeldVolume::ReadBackBootPieces(std::string& detail)
{
    return platform::ReadBackBootPieces(m_root[0], m_bootSectorBefore, detail);
}

} // namespace win32

} // namespace platform
