#pragma once

#include "framework/Types.h"

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>

// The UI thread's queue: posted messages, sent messages whose senders wait for the result, and
// tasks. Any thread may add; only the UI thread takes. `wake` is called after each addition so
// a loop blocked in the host returns.
class CMessageQueue {
public:
    explicit CMessageQueue(std::function<void()> wake);

    void Post(const MSG& msg);
    void PostTask(std::function<void()> task);
    // Queues the message and blocks until the UI thread has run `deliver` on it.
    LRESULT SendAndWait(const MSG& msg);
    // Queues the task and blocks until it has run (or the queue is shut down).
    void RunAndWait(std::function<void()> task);

    // UI thread: runs the oldest entry; false when the queue is empty.
    bool DispatchOne(const std::function<LRESULT(const MSG&)>& deliver);
    // Releases every waiting sender (with 0) and refuses new entries.
    void Shutdown();

private:
    struct Pending {
        MSG msg;
        std::function<void()> task;
        bool isTask = false;
        bool sent = false;
        bool done = false;
        LRESULT result = 0;
    };

    void Add(std::shared_ptr<Pending> entry);
    void WaitFor(const std::shared_ptr<Pending>& entry);

    std::function<void()> m_wake;
    std::mutex m_mutex;
    std::condition_variable m_finished;
    std::deque<std::shared_ptr<Pending>> m_entries;
    bool m_shutdown = false;
};
