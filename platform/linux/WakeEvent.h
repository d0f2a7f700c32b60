#pragma once

namespace platform::linux {

// An eventfd that any thread (or a signal handler) sets and the UI loop polls and clears.
class WakeEvent {
public:
    WakeEvent();
    ~WakeEvent();
    WakeEvent(const WakeEvent&) = delete;
    WakeEvent& operator=(const WakeEvent&) = delete;

    bool IsValid() const { return m_fd >= 0; }
    int Fd() const { return m_fd; }
    // Async-signal-safe: one write(2), nothing else.
    void Signal();
    // Returns whether the event was set.
    bool Clear();

private:
    int m_fd = -1;
};

} // namespace platform::linux
