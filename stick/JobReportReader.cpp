#include "stick/JobReportReader.h"

#include "stick/JobReportLine.h"

void JobReportReader::Add(StickJob& job, StickJob::Listener& listener)
{
    m_jobs[job.Letter()] = { &job, &listener, false };
}

bool JobReportReader::Take(const std::string& line)
{
    auto report = JobReportLine::Parse(line);
    if (!report)
        return false;
    auto found = m_jobs.find(report->letter);
    if (found == m_jobs.end() || found->second.ended)
        return false;
    Entry& entry = found->second;
    if (report->kind != JobReportLine::Kind::End) {
        report->Deliver(*entry.listener);
        return true;
    }
    entry.ended = true;
    entry.job->EndAsReported(static_cast<StickJob::Outcome>(report->first), report->text, report->argument);
    return true;
}

bool JobReportReader::AllEnded() const
{
    for (const auto& [letter, entry] : m_jobs) {
        if (!entry.ended)
            return false;
    }
    return true;
}

void JobReportReader::EndRunning(StickJob::Outcome outcome, const std::string& cause)
{
    for (auto& [letter, entry] : m_jobs) {
        if (entry.ended)
            continue;
        entry.ended = true;
        entry.listener->OnConsole("stick job: " + cause + "\n");
        entry.job->EndAsReported(outcome, cause, {});
    }
}
