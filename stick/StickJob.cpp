#include "recovery/StickJob.h"

#include "app/Globals.h"
#include "platform/FileCopy.h"
#include "platform/Process.h"
#include "platform/ReadBack.h"
#include "platform/Utf8.h"
#include "recovery/CzRecoveryDlg.h"
#include "recovery/StickJobChecks.h"

#include <chrono>
#include <cstdio>
#include <thread>

const StickJob::CopyStep StickJob::kCopySteps[kCopyCount] = {
    { L"\\_DEROZAZLIVE", L"\\.Derozazlive", false },
    { L"\\ISOLINUX\\initrd.img", L"\\initrd.img", false },
    { L"\\ISOLINUX\\root.lzm", L"\\root.lzm", true },
    { L"\\ISOLINUX\\syslinux.cfg", L"\\syslinux.cfg", false },
    { L"\\ISOLINUX\\vmlinuz", L"\\vmlinuz", false },
};

namespace {

constexpr std::uint32_t kMediaHardDisk = 12;
constexpr std::uint32_t kClusterSize = 4096;
constexpr std::uint32_t kProgressCancel = 1;
constexpr auto kPauseAfterInstaller = std::chrono::milliseconds(300);

// The job whose format runs on this thread: the format service's callback carries no context,
// and it calls back on the thread that formats.
thread_local StickJob* t_formattingJob = nullptr;

} // namespace

StickJob::StickJob(wchar_t letter, std::wstring identity, std::wstring sourceRoot, Listener& listener,
    const std::atomic<bool>* cancel)
    : m_letter(letter)
    , m_identity(std::move(identity))
    , m_sourceRoot(std::move(sourceRoot))
    , m_targetRoot(std::wstring(1, letter) + L":")
    , m_listener(listener)
    , m_cancel(cancel)
{
}

StickJob::~StickJob() = default;

std::wstring StickJob::SourceRootOfProgram()
{
    std::wstring executable = platform::GetModuleFileNameW();
    return executable.substr(0, executable.find(L'\\'));
}

void StickJob::Say(const std::string& text)
{
    m_listener.OnConsole(text);
}

void StickJob::End(Outcome outcome, const std::string& cause)
{
    m_hold.reset();
    m_outcome = outcome;
    if (m_cause.empty())
        m_cause = cause;
}

void StickJob::Fail(const std::string& cause)
{
    End(platform::IsDriveStill(m_letter, m_identity) ? Outcome::Failed : Outcome::StickChanged, cause);
}

bool StickJob::CheckBeforeWriting(bool formatServiceLoaded)
{
    StickJobChecks::Finding finding = StickJobChecks(m_letter, m_identity, m_sourceRoot).Run(formatServiceLoaded);
    if (finding.Passed())
        return true;
    Say("check: " + finding.cause + "; nothing is written\n");
    m_causeArgument = finding.argument;
    End(finding.outcome, finding.cause);
    return false;
}

bool StickJob::StillBound(const char* step)
{
    if (Cancelled()) {
        End(Outcome::Failed, "stopped");
        return false;
    }
    if (platform::IsDriveStill(m_letter, m_identity))
        return true;
    std::string drive = "drive " + ToUtf8(std::wstring(1, m_letter)) + ": is no longer the chosen stick";
    Say(std::string(step) + ": " + drive + "; nothing more is written\n");
    End(Outcome::StickChanged, drive);
    return false;
}

bool StickJob::Format(platform::FormatExFunction formatEx)
{
    m_listener.OnStage(Stage::Checking);
    if (!CheckBeforeWriting(formatEx != nullptr))
        return false;
    m_listener.OnStage(Stage::Formatting);
    platform::DriveHoldResult held = platform::HoldDrive(m_letter, m_identity);
    if (!held.hold) {
        Say("format: " + held.detail + "\n");
        switch (held.error) {
        case platform::DriveHoldError::AccessDenied:
            End(Outcome::NoRights, held.detail);
            break;
        case platform::DriveHoldError::NotThatDevice:
            End(Outcome::StickChanged, held.detail);
            break;
        default:
            End(Outcome::Failed, held.detail);
            break;
        }
        return false;
    }
    // Holding the drive has confirmed that its letter names the bound device.
    m_hold = std::move(held.hold);
    if (Cancelled()) {
        End(Outcome::Failed, "stopped");
        return false;
    }

    std::wstring root = m_targetRoot + L"\\";
    t_formattingJob = this;
    formatEx(root.c_str(), kMediaHardDisk, L"FAT32", L"VarnMID", 0, kClusterSize, FormatExCallback);
    t_formattingJob = nullptr;
    if (!m_formatDoneReported)
        Say("FormatEx was unable to complete successfully.\n\n");
    // A failed format ends the job: nothing is copied onto whatever the stick holds now.
    if (!m_formatDoneReported || !m_formatSucceeded) {
        if (Cancelled())
            End(Outcome::Failed, "stopped");
        else
            Fail(m_lastFormatLine.empty() ? "the format failed" : m_lastFormatLine);
        return false;
    }
    return true;
}

bool StickJob::OnFormatReport(std::uint32_t command, void* actionInfo)
{
    return t_formattingJob ? t_formattingJob->HandleFormatReport(command, actionInfo) : true;
}

bool StickJob::HandleFormatReport(std::uint32_t command, void* actionInfo)
{
    switch (command) {
    case platform::kFormatProgress: {
        auto percent = *static_cast<std::uint32_t*>(actionInfo);
        char line[64];
        std::snprintf(line, sizeof line, "%d percent completed.\r", static_cast<int>(percent));
        Say(line);
        m_listener.OnFormatProgress(percent);
        return !Cancelled();
    }
    case platform::kFormatDone: {
        bool succeeded = *static_cast<std::uint8_t*>(actionInfo) != 0;
        if (!succeeded)
            Say("FormatEx was unable to complete successfully.\n\n");
        m_formatSucceeded = succeeded;
        m_formatDoneReported = true;
        m_listener.OnFormatDone(succeeded);
        return true;
    }
    case platform::kFormatOutput: {
        auto* output = static_cast<platform::FormatTextOutput*>(actionInfo);
        if (!output || !output->output)
            return true;
        Say(output->output);
        std::string line = output->output;
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
            line.pop_back();
        if (!line.empty())
            m_lastFormatLine = line;
        return true;
    }
    default:
        return true;
    }
}

StickJob::Outcome StickJob::Finish()
{
    if (CopyAll() && ReadBackAll() && InstallBootLoader()) {
        m_hold.reset();
        m_outcome = Outcome::Ready;
    }
    return m_outcome;
}

bool StickJob::CopyAll()
{
    m_listener.OnStage(Stage::Copying);
    std::string failed;
    for (std::size_t index = 0; index < kCopyCount; ++index) {
        if (!StillBound("copy"))
            return false;
        const CopyStep& step = kCopySteps[index];
        std::wstring source = m_sourceRoot + step.source;
        std::wstring destination = m_targetRoot + step.destination;
        bool copied = step.withProgress ? platform::CopyFileExW(source, destination, ForwardCopyProgress, this, nullptr, 0)
                                        : platform::CopyFileW(source, destination, false);
        // A failed copy does not stop the others; it keeps the boot loader off the stick.
        if (!copied) {
            Say("copy: " + ToUtf8(destination) + " could not be written\n");
            if (failed.empty())
                failed = ToUtf8(source) + " could not be copied";
        }
        m_listener.OnCopyDone(index);
    }
    if (!failed.empty()) {
        Fail(failed);
        return false;
    }
    return true;
}

std::uint32_t StickJob::ForwardCopyProgress(std::int64_t total, std::int64_t transferred, std::int64_t, std::int64_t,
    std::uint32_t, std::uint32_t, void*, void*, void* job)
{
    auto* self = static_cast<StickJob*>(job);
    self->m_listener.OnCopyProgress(total, transferred);
    return self->Cancelled() ? kProgressCancel : platform::kProgressContinue;
}

bool StickJob::ReadBackAll()
{
    m_listener.OnStage(Stage::Verifying);
    for (const CopyStep& step : kCopySteps) {
        if (!StillBound("read-back"))
            return false;
        std::string detail;
        if (platform::ReadBackCopy(m_sourceRoot + step.source, m_targetRoot + step.destination, detail) != platform::ReadBackResult::Same) {
            Say("read-back: " + detail + "\n");
            Fail(detail);
            return false;
        }
    }
    return true;
}

bool StickJob::InstallBootLoader()
{
    m_listener.OnStage(Stage::Installing);
    if (!StillBound("installer"))
        return false;
    std::wstring installer = m_sourceRoot + kInstallerProgram + L" -fma " + m_targetRoot;
    int status = platform::RunCommandLine(installer.substr(0, kPathBufferSize - 1));
    std::this_thread::sleep_for(kPauseAfterInstaller);
    if (status != 0) {
        std::string cause = "the boot-loader installer ended with status " + std::to_string(status);
        Say("installer: " + ToUtf8(installer) + ": " + cause + "\n");
        Fail(cause);
        return false;
    }
    std::string detail;
    if (!platform::ReadBackBootPieces(m_letter, detail)) {
        Say("read-back: " + detail + "\n");
        Fail(detail);
        return false;
    }
    return true;
}
