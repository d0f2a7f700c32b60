#include "stick/StickJob.h"

#include "platform/Process.h"
#include "platform/files/Utf8.h"
#include "stick/StickJobChecks.h"

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

constexpr std::uint32_t kClusterSize = 4096;
constexpr auto kPauseAfterInstaller = std::chrono::milliseconds(300);

} // namespace

StickJob::StickJob(platform::Sticks& sticks, Target target, std::wstring sourceRoot, Listener& listener,
    const std::atomic<bool>* cancel)
    : m_sticks(sticks)
    , m_target(std::move(target))
    , m_sourceRoot(std::move(sourceRoot))
    , m_targetRoot(std::wstring(1, m_target.letter) + L":")
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

StickJob::Outcome StickJob::Run()
{
    if (!m_target.letter) {
        // Nothing chosen: nothing is formatted.
        End(Outcome::Failed, "no drive was chosen");
    } else if (CheckBeforeWriting() && Hold() && LayOut() && Format() && CopyAll() && ReadBackAll() && InstallBootLoader()) {
        m_stick.reset();
        m_outcome = Outcome::Ready;
    }
    m_listener.OnEnd(*this);
    return m_outcome;
}

bool StickJob::Precheck()
{
    if (!m_target.letter)
        End(Outcome::Failed, "no drive was chosen");
    else if (CheckBeforeWriting())
        return true;
    m_listener.OnEnd(*this);
    return false;
}

void StickJob::EndAsReported(Outcome outcome, std::string cause, std::wstring causeArgument)
{
    m_outcome = outcome;
    m_cause = std::move(cause);
    m_causeArgument = std::move(causeArgument);
    m_listener.OnEnd(*this);
}

void StickJob::Say(const std::string& text)
{
    m_listener.OnConsole(text);
}

void StickJob::End(Outcome outcome, const std::string& cause)
{
    m_stick.reset();
    m_outcome = outcome;
    if (m_cause.empty())
        m_cause = cause;
}

void StickJob::Fail(const std::string& cause)
{
    End(m_sticks.IsDriveStill(m_target.letter, m_target.identity) ? Outcome::Failed : Outcome::StickChanged, cause);
}

bool StickJob::CheckBeforeWriting()
{
    m_listener.OnStage(Stage::Checking);
    StickJobChecks::Finding finding = StickJobChecks(m_sticks, m_target.letter, m_target.identity, m_sourceRoot).Run();
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
    if (m_sticks.IsDriveStill(m_target.letter, m_target.identity))
        return true;
    std::string drive = "drive " + ToUtf8(std::wstring(1, m_target.letter)) + ": is no longer the chosen stick";
    Say(std::string(step) + ": " + drive + "; nothing more is written\n");
    End(Outcome::StickChanged, drive);
    return false;
}

bool StickJob::Hold()
{
    m_listener.OnStage(Stage::Formatting);
    platform::StickHoldResult held = m_sticks.Hold(m_target.letter, m_target.identity);
    if (!held.stick) {
        Say("format: " + held.detail + "\n");
        switch (held.error) {
        case platform::StickHoldError::AccessDenied:
            End(Outcome::NoRights, held.detail);
            break;
        case platform::StickHoldError::NotThatDevice:
            End(Outcome::StickChanged, held.detail);
            break;
        case platform::StickHoldError::WriteProtected:
            End(Outcome::WriteProtected, held.detail);
            break;
        case platform::StickHoldError::InUse:
            End(Outcome::InUse, held.detail);
            break;
        default:
            End(Outcome::Failed, held.detail);
            break;
        }
        return false;
    }
    // Holding the drive has confirmed that its letter names the bound device.
    m_stick = std::move(held.stick);
    if (Cancelled()) {
        End(Outcome::Failed, "stopped");
        return false;
    }
    return true;
}

bool StickJob::LayOut()
{
    wchar_t letter = m_target.letter;
    std::wstring identity = m_target.identity;
    std::string detail;
    platform::LayoutOutcome outcome = m_stick->LayOut(letter, identity, detail);
    if (outcome != platform::LayoutOutcome::Done) {
        Say("layout: " + detail + "\n");
        switch (outcome) {
        case platform::LayoutOutcome::InUse:
            End(Outcome::InUse, detail);
            break;
        case platform::LayoutOutcome::WriteProtected:
            End(Outcome::WriteProtected, detail);
            break;
        default:
            End(Outcome::LayoutFailed, detail);
            break;
        }
        return false;
    }
    // The new volume may have come back under another letter; it is the same disk.
    if (letter != m_target.letter)
        Say("layout: the stick is drive " + ToUtf8(std::wstring(1, letter)) + ": now\n");
    m_target = { letter, identity };
    m_targetRoot = std::wstring(1, letter) + L":";
    return true;
}

bool StickJob::Format()
{
    std::string lastLine;
    platform::FormatProgress progress;
    progress.percent = [this](std::uint32_t percent) {
        char line[64];
        std::snprintf(line, sizeof line, "%d percent completed.\r", static_cast<int>(percent));
        Say(line);
        m_listener.OnFormatProgress(percent);
        return !Cancelled();
    };
    progress.text = [this, &lastLine](const std::string& text) {
        Say(text);
        std::string line = text;
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
            line.pop_back();
        if (!line.empty())
            lastLine = line;
    };
    platform::FormatOutcome outcome = m_stick->Format({ L"VarnMID", kClusterSize, false }, progress);
    if (outcome != platform::FormatOutcome::Done)
        Say("FormatEx was unable to complete successfully.\n\n");
    // Refused before it wrote anything: the stick keeps what it holds, and the cause is named.
    if (outcome == platform::FormatOutcome::WriteProtected) {
        End(Outcome::WriteProtected, "the stick is write-protected");
        return false;
    }
    if (outcome == platform::FormatOutcome::InUse) {
        End(Outcome::InUse, "programs have the stick's volume open");
        return false;
    }
    if (outcome != platform::FormatOutcome::Unfinished)
        m_listener.OnFormatDone(outcome == platform::FormatOutcome::Done);
    if (outcome == platform::FormatOutcome::Done)
        return true;
    // A failed format ends the job: nothing is copied onto whatever the stick holds now.
    if (Cancelled())
        End(Outcome::Failed, "stopped");
    else
        Fail(lastLine.empty() ? "the format failed" : lastLine);
    return false;
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
        platform::CopyProgress progress;
        if (step.withProgress) {
            progress = [this](std::int64_t total, std::int64_t transferred) {
                m_listener.OnCopyProgress(total, transferred);
                return !Cancelled();
            };
        }
        // A failed copy does not stop the others; it keeps the boot loader off the stick.
        if (!m_stick->CopyIn(source, step.destination, progress)) {
            Say("copy: " + ToUtf8(m_targetRoot + step.destination) + " could not be written\n");
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

bool StickJob::ReadBackAll()
{
    m_listener.OnStage(Stage::Verifying);
    for (const CopyStep& step : kCopySteps) {
        if (!StillBound("read-back"))
            return false;
        std::string detail;
        if (m_stick->ReadBack(m_sourceRoot + step.source, step.destination, detail) != platform::ReadBackResult::Same) {
            Say("read-back: " + detail + "\n");
            Fail(detail);
            return false;
        }
    }
    return true;
}

// Both must pass: the installer's exit status, and then the boot pieces read back from the stick.
bool StickJob::InstallBootLoader()
{
    m_listener.OnStage(Stage::Installing);
    if (!StillBound("installer"))
        return false;
    std::wstring program = m_sourceRoot + kInstallerProgram;
    int status = m_stick->InstallBootLoader(program);
    std::this_thread::sleep_for(kPauseAfterInstaller);
    // An installer that says it failed may have left the boot loader half written, which the
    // boot pieces' read-back would not see: its status fails the job before any read-back.
    if (status != 0) {
        std::string cause = "the boot-loader installer ended with status " + std::to_string(status);
        Say("installer: " + ToUtf8(program + L" -fma " + m_targetRoot) + ": " + cause + "\n");
        Fail(cause);
        return false;
    }
    std::string detail;
    if (!m_stick->ReadBackBootPieces(detail)) {
        Say("read-back: " + detail + "\n");
        Fail(detail);
        return false;
    }
    return true;
}
