#include "stick/StickJobRunner.h"

#include "platform/StickHelper.h"
#include "stick/JobReportLine.h"
#include "stick/JobReportReader.h"

#include <chrono>
#include <memory>

namespace {

constexpr auto kCancelPoll = std::chrono::milliseconds(100);

} // namespace

StickJobRunner::StickJobRunner()
    : m_sticks(platform::Sticks::System())
    , m_inHelper(platform::StickJobsRunInHelper())
{
}

StickJobRunner::StickJobRunner(platform::Sticks& sticks)
    : m_sticks(sticks)
    , m_inHelper(false)
{
}

StickJobRunner::~StickJobRunner()
{
    Wait();
}

void StickJobRunner::Start(StickJob::Target target, std::wstring sourceRoot, StickJob::Listener& listener,
    const std::atomic<bool>* cancel)
{
    Start({ { std::move(target), &listener } }, std::move(sourceRoot), cancel);
}

void StickJobRunner::Start(std::vector<Request> requests, std::wstring sourceRoot, const std::atomic<bool>* cancel)
{
    Wait();
    if (m_inHelper) {
        m_threads.emplace_back([this, requests = std::move(requests), sourceRoot = std::move(sourceRoot), cancel] {
            RunInHelper(requests, sourceRoot, cancel);
        });
        return;
    }
    for (Request& request : requests) {
        m_threads.emplace_back([this, request = std::move(request), sourceRoot, cancel] {
            StickJob job(m_sticks, request.target, sourceRoot, *request.listener, cancel);
            job.Run();
        });
    }
}

void StickJobRunner::Wait()
{
    for (std::thread& thread : m_threads) {
        if (thread.joinable())
            thread.join();
    }
    m_threads.clear();
}

// A job the checks here refuse never reaches the helper, so nobody is asked for rights for it.
// A helper that ends early or sends what it never sends ends its jobs as failed at once.
void StickJobRunner::RunInHelper(const std::vector<Request>& requests, const std::wstring& sourceRoot,
    const std::atomic<bool>* cancel)
{
    std::vector<std::unique_ptr<StickJob>> jobs;
    std::vector<platform::HelperTarget> targets;
    JobReportReader reader;
    for (const Request& request : requests) {
        auto job = std::make_unique<StickJob>(m_sticks, request.target, sourceRoot, *request.listener, cancel);
        if (!job->Precheck())
            continue;
        reader.Add(*job, *request.listener);
        targets.push_back({ request.target.letter, request.target.identity });
        jobs.push_back(std::move(job));
    }
    if (targets.empty())
        return;

    platform::HelperStart started = platform::StartStickHelper(targets);
    if (!started.process) {
        reader.EndRunning(started.rightsUnavailable ? StickJob::Outcome::NoRights : StickJob::Outcome::Failed, started.error);
        return;
    }
    platform::StickHelperProcess& helper = *started.process;
    std::atomic<bool> finished { false };
    std::thread stopper;
    if (cancel) {
        stopper = std::thread([&] {
            while (!finished && !cancel->load())
                std::this_thread::sleep_for(kCancelPoll);
            if (!finished)
                helper.Stop();
        });
    }

    bool greeted = false;
    bool nonsense = false;
    while (!reader.AllEnded()) {
        auto line = helper.ReadLine(JobReportLine::kMaxLength);
        if (!line)
            break;
        if (greeted ? !reader.Take(*line) : *line != JobReportLine::kGreeting) {
            nonsense = true;
            break;
        }
        greeted = true;
    }
    if (nonsense) {
        helper.Abandon();
        reader.EndRunning(StickJob::Outcome::Failed, "the stick job's helper sent a line it never sends; it was given up");
    } else {
        platform::StickHelperProcess::Exit exit = helper.Wait();
        if (!greeted && exit.rightsRefused)
            reader.EndRunning(StickJob::Outcome::NoRights, "the request for the rights to write the stick was dismissed or refused");
        else
            reader.EndRunning(StickJob::Outcome::Failed, "the stick job's helper ended before its job (status " + std::to_string(exit.status) + ")");
    }
    finished = true;
    if (stopper.joinable())
        stopper.join();
}
