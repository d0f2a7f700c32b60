#pragma once

#include "stick/StickJob.h"

#include <map>
#include <string>

// The program's side of jobs that run in the helper process: each report line the helper sends
// is heard by the listener of its job, as if the job ran here, and its end ends the job.
class JobReportReader {
public:
    // The job is known by its letter; it has not started here.
    void Add(StickJob& job, StickJob::Listener& listener);

    // Hands one line on; false, with nothing heard, when it is no report of a job still running.
    bool Take(const std::string& line);
    bool AllEnded() const;
    // Ends every job still running so: its listener hears the cause as a console line, then OnEnd.
    void EndRunning(StickJob::Outcome outcome, const std::string& cause);

private:
    struct Entry {
        StickJob* job = nullptr;
        StickJob::Listener* listener = nullptr;
        bool ended = false;
    };
    std::map<wchar_t, Entry> m_jobs;
};
