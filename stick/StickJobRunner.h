#pragma once

#include "stick/StickJob.h"

#include <atomic>
#include <string>
#include <thread>

// Runs stick jobs, one at a time, each on a thread of its own: checks, hold, format, copies,
// read-back, installer, boot read-back, and the listener hears every report on that thread,
// OnEnd last. The writer dialog runs one; the command line one per drive. Going, it waits for
// the job it runs.
class StickJobRunner {
public:
    explicit StickJobRunner(platform::Sticks& sticks = platform::Sticks::System());
    ~StickJobRunner();
    StickJobRunner(const StickJobRunner&) = delete;
    StickJobRunner& operator=(const StickJobRunner&) = delete;

    // Starts a job once the last one has ended. `sourceRoot`: the CD ("D:"); `cancel`, when
    // given and set, stops the job at its next step.
    void Start(StickJob::Target target, std::wstring sourceRoot, StickJob::Listener& listener,
        const std::atomic<bool>* cancel = nullptr);
    void Wait();

private:
    platform::Sticks& m_sticks;
    std::thread m_thread;
};
