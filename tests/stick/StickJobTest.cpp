// The stick job's logic over a fake stick: what it does in which order, and where it stops.

#include "stick/JobReportLine.h"
#include "stick/JobReportReader.h"
#include "stick/JobReportWriter.h"
#include "stick/StickJob.h"
#include "stick/StickJobRunner.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr wchar_t kLetter = L'E';
const std::wstring kIdentity = L"stick-1";

// The folder that stands for the CD, drive D:.
fs::path CdFolder()
{
    return fs::temp_directory_path() / ("arkeven-stickjob-" + std::to_string(::getpid()));
}

// Every step a job asks of the stick, in order; what the stick answers is set by the test.
struct StickScript {
    std::vector<std::string> steps;
    platform::FormatOutcome format = platform::FormatOutcome::Done;
    std::string formatLine;
    std::wstring failingCopy;
    std::wstring spoiltCopy;
    int installerStatus = 0;
    bool bootPiecesThere = true;
    bool present = true;              // the letter names the bound stick
    std::string goneAfterStep;        // the stick is swapped for another once this step has run
    std::vector<std::string> missingTools;
    bool installerOnCd = true;
    std::int64_t cylinders = 243;     // 1906 MBytes
    bool writeProtected = false;
    platform::LayoutOutcome layout = platform::LayoutOutcome::Done;
    platform::StickHoldError holdError = platform::StickHoldError::None;

    void Ran(const std::string& step)
    {
        steps.push_back(step);
        if (step == goneAfterStep)
            present = false;
    }
};

class FakeStick final : public platform::HeldStick {
public:
    explicit FakeStick(StickScript& script)
        : m_script(script)
    {
    }
    ~FakeStick() override { m_script.steps.push_back("let go"); }

    platform::LayoutOutcome LayOut(wchar_t&, std::wstring&, std::string& detail) override
    {
        if (m_script.layout != platform::LayoutOutcome::Done) {
            m_script.Ran("lay out");
            detail = "the system refuses the stick's new partition";
        }
        return m_script.layout;
    }
    platform::FormatOutcome Format(const platform::FormatRequest& request, const platform::FormatProgress& progress) override
    {
        m_script.Ran("format " + std::string(request.label.begin(), request.label.end()) + " " + std::to_string(request.clusterSize)
            + (request.quick ? " quick" : " full"));
        for (std::uint32_t percent : { 0u, 50u, 100u })
            progress.percent(percent);
        if (!m_script.formatLine.empty())
            progress.text(m_script.formatLine + "\n");
        return m_script.format;
    }
    bool CopyIn(const std::wstring& source, const std::wstring& name, const platform::CopyProgress& progress) override
    {
        m_script.Ran("copy " + Narrow(name));
        if (progress) {
            progress(100, 0);
            progress(100, 100);
        }
        return name != m_script.failingCopy && source.find(L"D:\\") == 0;
    }
    platform::ReadBackResult ReadBack(const std::wstring&, const std::wstring& name, std::string& detail) override
    {
        m_script.Ran("read back " + Narrow(name));
        if (name != m_script.spoiltCopy)
            return platform::ReadBackResult::Same;
        detail = Narrow(name) + " on the stick differs";
        return platform::ReadBackResult::Different;
    }
    int InstallBootLoader(const std::wstring& program) override
    {
        m_script.Ran("install " + Narrow(program));
        return m_script.installerStatus;
    }
    bool ReadBackBootPieces(std::string& detail) override
    {
        m_script.Ran("read back boot pieces");
        if (!m_script.bootPiecesThere)
            detail = "ldlinux.sys is missing from the stick";
        return m_script.bootPiecesThere;
    }

private:
    static std::string Narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }

    StickScript& m_script;
};

class FakeSticks final : public platform::Sticks {
public:
    explicit FakeSticks(StickScript& script)
        : m_script(script)
    {
    }

    std::vector<platform::DriveFacts> ListDrives() override
    {
        platform::DriveFacts stick;
        stick.letter = kLetter;
        stick.type = platform::DriveType::Removable;
        stick.opened = stick.queried = true;
        stick.bus = platform::DriveBus::Usb;
        stick.geometry = { m_script.cylinders, 255, 63, 512 };
        stick.identity = kIdentity;
        stick.writeProtected = m_script.writeProtected;
        return { stick };
    }
    bool IsDriveStill(wchar_t letter, const std::wstring& identity) override
    {
        return m_script.present && letter == kLetter && identity == kIdentity;
    }
    platform::StickHoldResult Hold(wchar_t letter, const std::wstring& identity) override
    {
        m_script.Ran("hold");
        platform::StickHoldResult result;
        if (m_script.holdError != platform::StickHoldError::None) {
            result.error = m_script.holdError;
            result.detail = "refused";
        } else if (IsDriveStill(letter, identity)) {
            result.stick = std::make_unique<FakeStick>(m_script);
        } else {
            result.error = platform::StickHoldError::NotThatDevice;
        }
        return result;
    }
    std::vector<std::string> MissingTools() override { return m_script.missingTools; }
    std::wstring FindInstaller(const std::wstring& program) override { return m_script.installerOnCd ? program : std::wstring(); }
    std::string SourceFilePath(const std::wstring& drivePath) override
    {
        if (drivePath.rfind(L"D:\\", 0) != 0)
            return {};
        std::string below(drivePath.begin() + 3, drivePath.end());
        std::replace(below.begin(), below.end(), '\\', '/');
        return (CdFolder() / below).string();
    }

private:
    StickScript& m_script;
};

// What the job told, as the writer and the command line hear it.
class Recorder final : public StickJob::Listener {
public:
    void OnStage(StickJob::Stage stage) override { stages.push_back(stage); }
    void OnFormatDone(bool succeeded) override { formatDone.push_back(succeeded); }
    void OnCopyDone(std::size_t step) override { copiesDone.push_back(step); }
    void OnConsole(const std::string& text) override { console += text; }
    void OnEnd(const StickJob& job) override
    {
        ++ends;
        outcome = job.Result();
        cause = job.Cause();
        argument = job.CauseArgument();
        endThread = std::this_thread::get_id();
    }

    std::vector<StickJob::Stage> stages;
    std::vector<bool> formatDone;
    std::vector<std::size_t> copiesDone;
    std::string console;
    int ends = 0;
    StickJob::Outcome outcome = StickJob::Outcome::Running;
    std::string cause;
    std::wstring argument;
    std::thread::id endThread;
};

// The CD the job reads, as drive D: of the fake sticks.
class StickJobTest : public ::testing::Test {
protected:
    void SetUp() override { MakeCd(); }
    void TearDown() override { fs::remove_all(m_cd); }

    // A whole CD.
    void MakeCd()
    {
        m_cd = CdFolder();
        fs::remove_all(m_cd);
        for (const char* file : { "_DEROZAZLIVE", "ISOLINUX/initrd.img", "ISOLINUX/root.lzm", "ISOLINUX/syslinux.cfg", "ISOLINUX/vmlinuz" })
            WriteCdFile(file, std::string(5000, 'x'));
    }

    void WriteCdFile(const std::string& name, const std::string& bytes)
    {
        fs::create_directories((m_cd / name).parent_path());
        std::ofstream(m_cd / name, std::ios::binary) << bytes;
    }

    StickJob::Outcome Run(StickScript& script, Recorder& recorder)
    {
        FakeSticks sticks(script);
        StickJob job(sticks, { kLetter, kIdentity }, L"D:", recorder);
        return job.Run();
    }

    static bool Wrote(const StickScript& script)
    {
        for (const std::string& step : script.steps) {
            if (step != "hold" && step != "let go")
                return true;
        }
        return false;
    }

    fs::path m_cd;
};

const std::vector<std::string> kWholeJob = {
    "hold",
    "format VarnMID 4096 full",
    "copy \\.Derozazlive",
    "copy \\initrd.img",
    "copy \\root.lzm",
    "copy \\syslinux.cfg",
    "copy \\vmlinuz",
    "read back \\.Derozazlive",
    "read back \\initrd.img",
    "read back \\root.lzm",
    "read back \\syslinux.cfg",
    "read back \\vmlinuz",
    "install D:\\syslinux\\syslinux",
    "read back boot pieces",
    "let go",
};

TEST_F(StickJobTest, RunnerTakesTheStepsInOrderOnItsOwnThread)
{
    StickScript script;
    Recorder recorder;
    FakeSticks sticks(script);
    {
        StickJobRunner runner(sticks);
        runner.Start({ kLetter, kIdentity }, L"D:", recorder);
        runner.Wait();
    }
    EXPECT_EQ(script.steps, kWholeJob);
    EXPECT_EQ(recorder.outcome, StickJob::Outcome::Ready);
    EXPECT_EQ(recorder.ends, 1);
    EXPECT_NE(recorder.endThread, std::this_thread::get_id());
    using Stage = StickJob::Stage;
    EXPECT_EQ(recorder.stages, std::vector<Stage>({ Stage::Checking, Stage::Formatting, Stage::Copying, Stage::Verifying, Stage::Installing }));
    EXPECT_EQ(recorder.formatDone, std::vector<bool>({ true }));
    EXPECT_EQ(recorder.copiesDone, std::vector<std::size_t>({ 0, 1, 2, 3, 4 }));
    EXPECT_EQ(recorder.console, "0 percent completed.\r50 percent completed.\r100 percent completed.\r");
}

TEST_F(StickJobTest, EachRefusalComesBeforeAnyWrite)
{
    struct Case {
        const char* name;
        std::function<void(StickScript&)> setUp;
        StickJob::Outcome outcome;
        std::wstring argument;
    };
    const Case cases[] = {
        { "stick gone before the start", [](StickScript& s) { s.present = false; }, StickJob::Outcome::StickChanged, L"" },
        { "root image missing", [this](StickScript&) { fs::remove(m_cd / "ISOLINUX" / "root.lzm"); }, StickJob::Outcome::CdIncomplete, L"" },
        { "installer missing", [](StickScript& s) { s.installerOnCd = false; }, StickJob::Outcome::CdIncomplete, L"" },
        { "tools missing", [](StickScript& s) { s.missingTools = { "mcopy (mtools)" }; }, StickJob::Outcome::ProgramMissing, L"mcopy (mtools)" },
        { "stick too small", [](StickScript& s) { s.cylinders = 10; }, StickJob::Outcome::StickTooSmall, L"512 MB" },
        { "no rights to hold it", [](StickScript& s) { s.holdError = platform::StickHoldError::AccessDenied; }, StickJob::Outcome::NoRights, L"" },
        { "held elsewhere", [](StickScript& s) { s.holdError = platform::StickHoldError::Unavailable; }, StickJob::Outcome::Failed, L"" },
        { "write-protected", [](StickScript& s) { s.writeProtected = true; }, StickJob::Outcome::WriteProtected, L"" },
        { "write-protected when held", [](StickScript& s) { s.holdError = platform::StickHoldError::WriteProtected; }, StickJob::Outcome::WriteProtected, L"" },
        { "its volume in use", [](StickScript& s) { s.holdError = platform::StickHoldError::InUse; }, StickJob::Outcome::InUse, L"" },
    };
    for (const Case& testCase : cases) {
        MakeCd();
        StickScript script;
        testCase.setUp(script);
        Recorder recorder;
        EXPECT_EQ(Run(script, recorder), testCase.outcome) << testCase.name;
        EXPECT_FALSE(Wrote(script)) << testCase.name;
        EXPECT_EQ(recorder.argument, testCase.argument) << testCase.name;
        EXPECT_FALSE(recorder.cause.empty()) << testCase.name;
        EXPECT_EQ(recorder.ends, 1) << testCase.name;
    }
}

TEST_F(StickJobTest, AFormatThatFailsOrNeverEndsStopsTheJob)
{
    StickScript failed;
    failed.format = platform::FormatOutcome::Failed;
    failed.formatLine = "format: the stick is gone";
    Recorder recorder;
    EXPECT_EQ(Run(failed, recorder), StickJob::Outcome::Failed);
    EXPECT_EQ(failed.steps, std::vector<std::string>({ "hold", "format VarnMID 4096 full", "let go" }));
    EXPECT_EQ(recorder.formatDone, std::vector<bool>({ false }));
    EXPECT_EQ(recorder.cause, "format: the stick is gone");
    EXPECT_NE(recorder.console.find("FormatEx was unable to complete successfully.\n\n"), std::string::npos);

    StickScript unfinished;
    unfinished.format = platform::FormatOutcome::Unfinished;
    Recorder silent;
    EXPECT_EQ(Run(unfinished, silent), StickJob::Outcome::Failed);
    EXPECT_TRUE(silent.formatDone.empty()) << "no done report, no bar at 78";
    EXPECT_TRUE(silent.copiesDone.empty());

    // A new partition table the system refuses ends the job before the format.
    for (auto [refusal, outcome] : { std::pair { platform::LayoutOutcome::Failed, StickJob::Outcome::LayoutFailed },
             std::pair { platform::LayoutOutcome::InUse, StickJob::Outcome::InUse },
             std::pair { platform::LayoutOutcome::WriteProtected, StickJob::Outcome::WriteProtected } }) {
        StickScript refused;
        refused.layout = refusal;
        Recorder told;
        EXPECT_EQ(Run(refused, told), outcome);
        EXPECT_EQ(refused.steps, std::vector<std::string>({ "hold", "lay out", "let go" }));
        EXPECT_NE(told.console.find("layout: the system refuses"), std::string::npos) << told.console;
    }

    // The format service refuses before it writes: the cause gets its own outcome.
    for (auto [refusal, outcome] : { std::pair { platform::FormatOutcome::WriteProtected, StickJob::Outcome::WriteProtected },
             std::pair { platform::FormatOutcome::InUse, StickJob::Outcome::InUse } }) {
        StickScript refused;
        refused.format = refusal;
        Recorder told;
        EXPECT_EQ(Run(refused, told), outcome);
        EXPECT_TRUE(told.formatDone.empty());
        EXPECT_TRUE(told.copiesDone.empty());
    }
}

TEST_F(StickJobTest, AStickSwappedMidJobGetsNothingMore)
{
    StickScript script;
    script.goneAfterStep = "copy \\initrd.img";
    Recorder recorder;
    EXPECT_EQ(Run(script, recorder), StickJob::Outcome::StickChanged);
    EXPECT_EQ(script.steps.back(), "let go");
    EXPECT_EQ(script.steps[script.steps.size() - 2], "copy \\initrd.img");
    EXPECT_NE(recorder.console.find("copy: drive E: is no longer the chosen stick; nothing more is written"), std::string::npos)
        << recorder.console;
}

TEST_F(StickJobTest, ReadBackAndInstallerStatusDecideWhetherTheStickIsReady)
{
    StickScript spoilt;
    spoilt.spoiltCopy = L"\\root.lzm";
    Recorder spoiltRecorder;
    EXPECT_EQ(Run(spoilt, spoiltRecorder), StickJob::Outcome::Failed);
    EXPECT_EQ(spoilt.steps[spoilt.steps.size() - 2], "read back \\root.lzm") << "no installer after a copy that reads back different";
    EXPECT_EQ(spoiltRecorder.cause, "\\root.lzm on the stick differs");

    StickScript failingCopy;
    failingCopy.failingCopy = L"\\initrd.img";
    Recorder copyRecorder;
    EXPECT_EQ(Run(failingCopy, copyRecorder), StickJob::Outcome::Failed);
    EXPECT_EQ(copyRecorder.copiesDone.size(), 5u) << "a failed copy does not stop the others";
    EXPECT_EQ(failingCopy.steps[failingCopy.steps.size() - 2], "copy \\vmlinuz");

    // An installer that says it failed fails the job, even with the boot pieces in place.
    StickScript statusOnly;
    statusOnly.installerStatus = 1;
    Recorder statusRecorder;
    EXPECT_EQ(Run(statusOnly, statusRecorder), StickJob::Outcome::Failed);
    EXPECT_EQ(statusRecorder.cause, "the boot-loader installer ended with status 1");
    EXPECT_NE(statusRecorder.console.find("installer: D:\\syslinux\\syslinux -fma E:: the boot-loader installer ended with status 1"),
        std::string::npos) << statusRecorder.console;

    StickScript noLoader;
    noLoader.bootPiecesThere = false;
    Recorder loaderRecorder;
    EXPECT_EQ(Run(noLoader, loaderRecorder), StickJob::Outcome::Failed);
    EXPECT_EQ(loaderRecorder.cause, "ldlinux.sys is missing from the stick");
}

// A job that runs in the helper process is heard through its report lines exactly as one that
// runs here: every report, the outcome, its cause and its argument.
TEST_F(StickJobTest, ReportLinesFromTheHelperReachTheListenerAsTheJobRanHere)
{
    std::function<void(StickScript&)> setUps[] = {
        [](StickScript&) {},
        [](StickScript& s) { s.missingTools = { "mcopy (mtools)" }; },
        [](StickScript& s) { s.formatLine = "mkfs.fat: 100% \"odd\" text\r"; s.format = platform::FormatOutcome::Failed; },
    };
    for (auto& setUp : setUps) {
        StickScript here;
        setUp(here);
        Recorder direct;
        Run(here, direct);

        StickScript there;
        setUp(there);
        std::vector<std::string> lines;
        JobReportWriter writer(kLetter, [&](const std::string& line) { lines.push_back(line); });
        FakeSticks helperSticks(there);
        StickJob(helperSticks, { kLetter, kIdentity }, L"D:", writer).Run();

        Recorder relayed;
        StickJob remote(helperSticks, { kLetter, kIdentity }, L"D:", relayed);
        JobReportReader reader;
        reader.Add(remote, relayed);
        for (const std::string& line : lines) {
            EXPECT_TRUE(reader.Take(line)) << line;
            EXPECT_EQ(line.find_first_of("\r\n\t"), std::string::npos) << line;
        }
        EXPECT_TRUE(reader.AllEnded());
        EXPECT_EQ(relayed.stages, direct.stages);
        EXPECT_EQ(relayed.formatDone, direct.formatDone);
        EXPECT_EQ(relayed.copiesDone, direct.copiesDone);
        EXPECT_EQ(relayed.console, direct.console);
        EXPECT_EQ(relayed.ends, 1);
        EXPECT_EQ(relayed.outcome, direct.outcome);
        EXPECT_EQ(relayed.cause, direct.cause);
        EXPECT_EQ(relayed.argument, direct.argument);
    }

    // An outcome this build has no name for passes as its number (the final text says failed).
    auto unnamed = JobReportLine::Parse(JobReportLine::End(L'F', static_cast<StickJob::Outcome>(77), "new", L"\u00e9t\u00e9"));
    ASSERT_TRUE(unnamed);
    EXPECT_EQ(unnamed->first, 77);
    EXPECT_EQ(unnamed->argument, L"\u00e9t\u00e9");
}

// What the helper sends is untrusted: anything that is not exactly a report of a job still
// running is refused, and the jobs a helper leaves unfinished end as the program decides.
TEST_F(StickJobTest, LinesThatAreNoReportOfARunningJobAreRefused)
{
    const std::string tooLong = "E console :" + std::string(JobReportLine::kMaxLength, 'x');
    const char* const malformed[] = {
        "", "E", "E stage", "e stage 1", "EE stage 1", "1 stage 1", "E sta 1", "E stage 1 2", "E stage  1", "E\tstage 1",
        "E stage 5", "E stage -1", "E stage +1", "E stage 1x", "E stage 99999999999999999999",
        "E format-progress 101", "E format-done 2", "E copy-progress 10 11", "E copy-progress 10", "E copy-done 5",
        "E console", "E console :", "E console text", "E console :a%2", "E console :a%G0", "E console :a%0a",
        "E end 0 :c :", "E end 256 :c :", "E end 3 :c", "E end 3 c :", "E end 3 :c :%FF", "E end 3 :c : extra",
    };
    for (const char* line : malformed)
        EXPECT_FALSE(JobReportLine::Parse(line)) << "'" << line << "'";
    EXPECT_FALSE(JobReportLine::Parse(tooLong));
    EXPECT_TRUE(JobReportLine::Parse("E console :a%25b%0D%0A")) << "the escapes the writer makes";

    StickScript script;
    FakeSticks sticks(script);
    Recorder first, second;
    StickJob jobE(sticks, { L'E', kIdentity }, L"D:", first);
    StickJob jobF(sticks, { L'F', L"stick-2" }, L"D:", second);
    JobReportReader reader;
    reader.Add(jobE, first);
    reader.Add(jobF, second);
    EXPECT_FALSE(reader.Take("G stage 1")) << "a job nobody asked for";
    EXPECT_TRUE(reader.Take(JobReportLine::End(L'E', StickJob::Outcome::Ready, "", L"")));
    EXPECT_FALSE(reader.Take("E stage 1")) << "a report after the job's end";
    EXPECT_FALSE(reader.AllEnded());
    reader.EndRunning(StickJob::Outcome::Failed, "the helper ended before its job");
    EXPECT_TRUE(reader.AllEnded());
    EXPECT_EQ(first.ends, 1);
    EXPECT_EQ(first.outcome, StickJob::Outcome::Ready);
    EXPECT_EQ(second.ends, 1);
    EXPECT_EQ(second.outcome, StickJob::Outcome::Failed);
    EXPECT_EQ(second.console, "stick job: the helper ended before its job\n");
}

} // namespace
