#pragma once

#include "stick/StickJob.h"

#include <atomic>
#include <string>
#include <thread>
#include <vector>

// Runs stick jobs, each heard by its listener, OnEnd last. Over the system's sticks where the
// system writes sticks in a helper process (Linux: the window is the user's), the jobs are first
// checked here, then handed to one helper for all of them, and its reports reach the listeners
// as if the jobs ran here; otherwise each job runs on a thread of this process. The writer
// dialog runs one job; the command line several at once. Going, it waits for the jobs it runs.
class StickJobRunner {
public:
    struct Request {
        StickJob::Target target;
        StickJob::Listener* listener = nullptr;
    };

    // The system's sticks.
    StickJobRunner();
    // Jobs run in this process over `sticks`.
    explicit StickJobRunner(platform::Sticks& sticks);
    ~StickJobRunner();
    StickJobRunner(const StickJobRunner&) = delete;
    StickJobRunner& operator=(const StickJobRunner&) = delete;

    // Starts a job once the last ones have ended. `sourceRoot`: the CD ("D:"); `cancel`, when
    // given and set, stops the job at its next step.
    void Start(StickJob::Target target, std::wstring sourceRoot, StickJob::Listener& listener,
        const std::atomic<bool>* cancel = nullptr);
    // Several jobs at once (one request for the rights to write them all).
    void Start(std::vector<Request> requests, std::wstring sourceRoot, const std::atomic<bool>* cancel = nullptr);
    void Wait();

private:
    void RunInHelper(const std::vector<Request>& requests, const std::wstring& sourceRoot, const std::atomic<bool>* cancel);

    platform::Sticks& m_sticks;
    bool m_inHelper;
    std::vector<std::thread> m_threads;
};
