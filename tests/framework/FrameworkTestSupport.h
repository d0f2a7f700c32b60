#pragma once

#include "framework/CWinApp.h"
#include "platform/host/HeadlessHost.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <thread>

// A test application on the headless host, with a watchdog: a loop test that deadlocks ends
// the process with a message instead of hanging the suite.
class TestApp : public CWinApp {
public:
    explicit TestApp(int watchdogSeconds = 20, int screenWidth = 1280, int screenHeight = 800)
    {
        auto host = std::make_unique<platform::HeadlessHost>(screenWidth, screenHeight);
        m_headless = host.get();
        AttachHost(std::move(host));
        m_watchdog = std::thread([this, watchdogSeconds] {
            auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(watchdogSeconds);
            while (!m_finished) {
                if (std::chrono::steady_clock::now() > deadline) {
                    std::fprintf(stderr, "watchdog: test did not finish in %d s\n", watchdogSeconds);
                    std::_Exit(3);
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            }
        });
    }

    ~TestApp() override
    {
        m_finished = true;
        m_watchdog.join();
    }

    platform::HeadlessHost& Headless() { return *m_headless; }

    // Runs `driver` on a second thread (the "user") while this thread serves the UI until
    // `done` holds.
    void Drive(const std::function<void()>& driver, const std::function<bool()>& done)
    {
        std::thread user(driver);
        PumpUntil(done);
        user.join();
    }

private:
    platform::HeadlessHost* m_headless = nullptr;
    std::atomic<bool> m_finished { false };
    std::thread m_watchdog;
};

// Polls until the condition holds or the time runs out.
inline bool WaitUntil(const std::function<bool()>& condition, int timeoutMs = 5000)
{
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}
