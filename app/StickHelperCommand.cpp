#include "app/StickHelperCommand.h"

#include "platform/Process.h"
#include "platform/StickHelper.h"
#include "platform/files/Utf8.h"
#include "stick/JobReportLine.h"
#include "stick/JobReportWriter.h"
#include "stick/StickJobRunner.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <memory>

namespace {

// The drive in this process's own look at the system that is the device of `identity`, when it
// is a USB drive: the letters of the program that asked need not be ours.
wchar_t LetterOfDevice(const std::wstring& identity)
{
    for (const platform::DriveFacts& drive : platform::Sticks::System().ListDrives()) {
        if (drive.IsUsbDrive() && drive.identity == identity)
            return drive.letter;
    }
    return 0;
}

} // namespace

int RunStickHelperCommand(const std::vector<std::string>& arguments)
{
    auto channel = platform::OpenStickHelperChannel();
    auto targets = platform::AdoptStickHelperArguments(arguments);
    if (!channel || !targets) {
        std::fputs("arkeven: --stick-helper is started by the program itself, with the sticks it is to write\n", stderr);
        return 2;
    }
    auto send = [&channel](const std::string& line) { channel->Send(line); };
    send(JobReportLine::kGreeting);

    std::atomic<bool> stop { false };
    channel->StopWhenAsked(stop);
    platform::StopOnInterrupt(stop);

    std::vector<std::unique_ptr<JobReportWriter>> writers;
    std::vector<StickJobRunner::Request> requests;
    for (const platform::HelperTarget& target : *targets) {
        writers.push_back(std::make_unique<JobReportWriter>(target.letter, send));
        wchar_t letter = LetterOfDevice(target.identity);
        if (!letter) {
            std::string drive = "drive " + ToUtf8(std::wstring(1, target.letter)) + ": is no longer the chosen stick";
            writers.back()->OnConsole("check: " + drive + "; nothing is written\n");
            send(JobReportLine::End(target.letter, StickJob::Outcome::StickChanged, drive, {}));
            continue;
        }
        requests.push_back({ { letter, target.identity }, writers.back().get() });
    }
    // The jobs run here, over this system's sticks, whatever the platform does for a window.
    StickJobRunner runner(platform::Sticks::System());
    std::size_t jobCount = requests.size();
    if (!requests.empty())
        runner.Start(std::move(requests), StickJob::SourceRootOfProgram(), &stop);
    runner.Wait();
    bool allReady = jobCount == targets->size()
        && std::all_of(writers.begin(), writers.end(), [](const auto& writer) { return writer->Ready(); });
    return allReady ? 0 : 1;
}
