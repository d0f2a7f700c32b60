#include "app/MakeStickCommand.h"

#include "app/ProgramStart.h"
#include "platform/Process.h"
#include "platform/files/Utf8.h"
#include "stick/DriveListItem.h"
#include "stick/FinalText.h"
#include "stick/OfferedDrive.h"
#include "stick/StickJobRunner.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <mutex>
#include <optional>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kRedrawInterval = std::chrono::milliseconds(250);

struct Target {
    wchar_t letter = 0;
    std::wstring item;     // as the drive list names it: "E (1906 MBytes)"
    std::wstring identity;
    std::uint64_t sizeInBytes = 0;
};

void Complain(const std::string& text)
{
    std::fprintf(stderr, "arkeven: %s\n", text.c_str());
}

// "E:", "e:" or "E": the drive letter, upper case.
std::optional<wchar_t> ParseTarget(const std::string& word)
{
    if (word.empty() || word.size() > 2 || (word.size() == 2 && word[1] != ':'))
        return std::nullopt;
    char letter = word[0];
    if (letter >= 'a' && letter <= 'z')
        letter = static_cast<char>(letter - 'a' + 'A');
    if (letter < 'A' || letter > 'Z')
        return std::nullopt;
    return static_cast<wchar_t>(letter);
}

// The drives the start dialog would list: USB drives, never the one the program runs from.
std::vector<Target> OfferedDrives()
{
    std::vector<Target> drives;
    for (const platform::DriveFacts& drive : platform::Sticks::System().ListDrives()) {
        if (!IsOfferedDrive(drive))
            continue;
        drives.push_back({ drive.letter, DriveListItem(drive), drive.identity, DriveSizeFromGeometry(drive.geometry) });
    }
    return drives;
}

std::string Duration(double seconds)
{
    auto whole = static_cast<long>(seconds + 0.5);
    char text[32];
    std::snprintf(text, sizeof text, "%ld:%02ld", whole / 60, whole % 60);
    return text;
}

// One target's line: its stage, how far the stage has come, how fast it goes, how long it still
// takes; at the end, "ready" or "failed: <cause>".
class TargetProgress final : public StickJob::Listener {
public:
    explicit TargetProgress(const Target& target)
        : m_target(target)
    {
    }

    void OnStage(StickJob::Stage stage) override
    {
        std::lock_guard lock(m_mutex);
        m_stage = stage;
        m_percent = -1;
        m_bytes = 0;
        m_stageStart = Clock::now();
    }
    void OnFormatProgress(std::uint32_t percent) override { Advance(static_cast<int>(percent), m_target.sizeInBytes / 100 * percent); }
    void OnCopyProgress(std::int64_t total, std::int64_t transferred) override
    {
        Advance(total > 0 ? static_cast<int>(transferred * 100 / total) : 100, static_cast<std::uint64_t>(transferred));
    }
    void OnEnd(const StickJob& job) override
    {
        std::lock_guard lock(m_mutex);
        m_ready = job.Result() == StickJob::Outcome::Ready;
        m_summary = m_ready ? "ready" : "failed: " + Cause(job);
    }

    bool Ended() const
    {
        std::lock_guard lock(m_mutex);
        return !m_summary.empty();
    }
    bool Ready() const
    {
        std::lock_guard lock(m_mutex);
        return m_ready;
    }
    // Past its checks: the job is being written, or has ended.
    bool PastChecks() const
    {
        std::lock_guard lock(m_mutex);
        return m_stage != StickJob::Stage::Checking || !m_summary.empty();
    }
    // A key that changes when a plain line is due: a new stage, or another tenth of it done.
    int Milestone() const
    {
        std::lock_guard lock(m_mutex);
        return m_summary.empty() ? static_cast<int>(m_stage) * 100 + std::max(m_percent, 0) / 10 : -1;
    }

    std::string Line() const
    {
        std::lock_guard lock(m_mutex);
        std::string line = ToUtf8(m_target.item) + "  ";
        if (!m_summary.empty())
            return line + m_summary;
        line += StageName(m_stage);
        if (m_percent < 0)
            return line;
        line += "  " + std::to_string(m_percent) + "%";
        double seconds = std::chrono::duration<double>(Clock::now() - m_stageStart).count();
        if (seconds <= 0.5 || m_percent == 0)
            return line;
        char speed[32];
        std::snprintf(speed, sizeof speed, "  %.1f MB/s", static_cast<double>(m_bytes) / seconds / 1e6);
        return line + speed + "  " + Duration(seconds * (100 - m_percent) / m_percent) + " left";
    }

private:
    // A job that could not start says what to do, as the writer does; a write that failed says
    // what failed.
    static std::string Cause(const StickJob& job)
    {
        switch (job.Result()) {
        case StickJob::Outcome::StickTooSmall:
        case StickJob::Outcome::CdIncomplete:
        case StickJob::Outcome::ProgramMissing:
        case StickJob::Outcome::WriteProtected:
        case StickJob::Outcome::InUse:
        case StickJob::Outcome::LayoutFailed:
        case StickJob::Outcome::StickChanged:
            return ToUtf8(FinalTextOf(job));
        default:
            return job.Cause();
        }
    }

    static const char* StageName(StickJob::Stage stage)
    {
        switch (stage) {
        case StickJob::Stage::Checking:
            return "checking";
        case StickJob::Stage::Formatting:
            return "formatting";
        case StickJob::Stage::Copying:
            return "copying";
        case StickJob::Stage::Verifying:
            return "reading back";
        case StickJob::Stage::Installing:
            return "installing the boot loader";
        }
        return "";
    }

    void Advance(int percent, std::uint64_t bytes)
    {
        std::lock_guard lock(m_mutex);
        m_percent = std::clamp(percent, 0, 100);
        m_bytes = bytes;
    }

    const Target& m_target;
    mutable std::mutex m_mutex;
    StickJob::Stage m_stage = StickJob::Stage::Checking;
    int m_percent = -1;
    std::uint64_t m_bytes = 0;
    Clock::time_point m_stageStart = Clock::now();
    bool m_ready = false;
    std::string m_summary;
};

// The targets' lines on the console: redrawn in place on a terminal, otherwise a plain line
// whenever a target reaches a new stage or another tenth of one.
class ProgressBoard {
public:
    explicit ProgressBoard(const std::vector<std::unique_ptr<TargetProgress>>& targets)
        : m_targets(targets)
        , m_inPlace(platform::OutputIsTerminal())
        , m_milestones(targets.size(), -2)
    {
    }

    void Draw()
    {
        std::string text;
        if (m_inPlace) {
            if (m_drawn)
                text += "\x1b[" + std::to_string(m_targets.size()) + "F";
            for (auto& target : m_targets)
                text += "\x1b[2K" + target->Line() + "\n";
            m_drawn = true;
        } else {
            for (std::size_t index = 0; index < m_targets.size(); ++index) {
                int milestone = m_targets[index]->Milestone();
                if (milestone != m_milestones[index] && milestone >= 0)
                    text += m_targets[index]->Line() + "\n";
                m_milestones[index] = milestone;
            }
        }
        platform::ConsoleWrite(text);
    }

    // Each target's outcome: in place on a terminal, a line each otherwise.
    void DrawSummary()
    {
        if (m_inPlace) {
            Draw();
            return;
        }
        std::string text;
        for (auto& target : m_targets)
            text += target->Line() + "\n";
        platform::ConsoleWrite(text);
    }

private:
    const std::vector<std::unique_ptr<TargetProgress>>& m_targets;
    bool m_inPlace;
    bool m_drawn = false;
    std::vector<int> m_milestones;
};

// Resolves every target against the drive list; complains about each one refused.
std::optional<std::vector<Target>> ResolveTargets(const std::vector<wchar_t>& letters)
{
    std::vector<Target> offered = OfferedDrives();
    std::vector<Target> targets;
    bool refused = false;
    for (wchar_t letter : letters) {
        auto found = std::find_if(offered.begin(), offered.end(), [letter](const Target& drive) { return drive.letter == letter; });
        if (found == offered.end() || found->identity.empty()) {
            Complain(ToUtf8(std::wstring(1, letter)) + ": is not a USB drive this program may write "
                "(see arkeven --list-drives; never the CD, a disk not on USB, or the program's own drive)");
            refused = true;
            continue;
        }
        targets.push_back(*found);
    }
    if (refused)
        return std::nullopt;
    return targets;
}

enum class Answer { Yes, No, NobodyToAsk };

Answer AskToErase(const std::vector<Target>& targets)
{
    std::string names;
    for (auto& target : targets)
        names += (names.empty() ? "" : ", ") + ToUtf8(DriveTargetText(target.letter, target.item));
    auto answer = platform::AskOnTerminal("Everything on " + names + " will be erased. Write the recovery stick? [y/N] ");
    if (!answer) {
        Complain("no terminal to confirm on; add --yes to write without asking");
        return Answer::NobodyToAsk;
    }
    if (*answer == "y" || *answer == "Y" || *answer == "yes" || *answer == "YES")
        return Answer::Yes;
    Complain("nothing was written");
    return Answer::No;
}

} // namespace

int RunMakeStickCommand(const std::vector<std::string>& arguments)
{
    bool yes = false;
    std::vector<wchar_t> letters;
    for (const std::string& word : arguments) {
        auto letter = ParseTarget(word);
        if (word == "--yes" || word == "-y") {
            yes = true;
        } else if (!letter) {
            Complain("--make-stick takes drive letters (E: F: ...) and --yes, not '" + word + "'");
            return 2;
        } else if (std::find(letters.begin(), letters.end(), *letter) != letters.end()) {
            Complain(word + " is named twice");
            return 2;
        } else {
            letters.push_back(*letter);
        }
    }
    if (letters.empty()) {
        Complain("--make-stick needs at least one drive letter, e.g. arkeven --make-stick E:");
        return 2;
    }

    if (!platform::CanOpenVolumesForWriting()) {
        Complain("writing a stick needs administrator rights: run it from an administrator prompt "
                 "(\"Run as administrator\"); nothing was written");
        return 2;
    }
    PrepareProgramFolders();
    auto targets = ResolveTargets(letters);
    if (!targets)
        return 2;
    if (!yes) {
        Answer answer = AskToErase(*targets);
        if (answer != Answer::Yes)
            return answer == Answer::No ? 1 : 2;
    }
    std::atomic<bool> stop { false };
    platform::StopOnInterrupt(stop);
    std::wstring sourceRoot = StickJob::SourceRootOfProgram();
    std::vector<std::unique_ptr<TargetProgress>> progress;
    for (const Target& target : *targets)
        progress.push_back(std::make_unique<TargetProgress>(target));
    // One runner for all: where the jobs need rights, they are asked for once.
    std::vector<StickJobRunner::Request> requests;
    for (std::size_t index = 0; index < targets->size(); ++index)
        requests.push_back({ { (*targets)[index].letter, (*targets)[index].identity }, progress[index].get() });
    StickJobRunner runner;
    runner.Start(std::move(requests), sourceRoot, &stop);

    ProgressBoard board(progress);
    auto allEnded = [&] { return std::all_of(progress.begin(), progress.end(), [](auto& target) { return target->Ended(); }); };
    // Nothing is drawn while the jobs are checked: pkexec may be asking for a password on this
    // terminal meanwhile.
    auto anyPastChecks = [&] { return std::any_of(progress.begin(), progress.end(), [](auto& target) { return target->PastChecks(); }); };
    while (!allEnded()) {
        if (anyPastChecks())
            board.Draw();
        std::this_thread::sleep_for(kRedrawInterval);
    }
    runner.Wait();
    board.DrawSummary();

    bool allReady = true;
    for (auto& target : progress)
        allReady = allReady && target->Ready();
    return allReady ? 0 : 1;
}
