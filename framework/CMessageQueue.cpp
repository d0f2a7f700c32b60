#include "framework/CMessageQueue.h"

CMessageQueue::CMessageQueue(std::function<void()> wake)
    : m_wake(std::move(wake))
{
}

void CMessageQueue::Add(std::shared_ptr<Pending> entry)
{
    {
        std::lock_guard lock(m_mutex);
        if (m_shutdown) {
            entry->done = true;
            return;
        }
        m_entries.push_back(std::move(entry));
    }
    m_wake();
}

void CMessageQueue::Post(const MSG& msg)
{
    auto entry = std::make_shared<Pending>();
    entry->msg = msg;
    Add(std::move(entry));
}

void CMessageQueue::PostTask(std::function<void()> task)
{
    auto entry = std::make_shared<Pending>();
    entry->task = std::move(task);
    entry->isTask = true;
    Add(std::move(entry));
}

void CMessageQueue::WaitFor(const std::shared_ptr<Pending>& entry)
{
    std::unique_lock lock(m_mutex);
    m_finished.wait(lock, [&] { return entry->done || m_shutdown; });
}

LRESULT CMessageQueue::SendAndWait(const MSG& msg)
{
    auto entry = std::make_shared<Pending>();
    entry->msg = msg;
    entry->sent = true;
    Add(entry);
    WaitFor(entry);
    std::lock_guard lock(m_mutex);
    return entry->done ? entry->result : 0;
}

void CMessageQueue::RunAndWait(std::function<void()> task)
{
    auto entry = std::make_shared<Pending>();
    entry->task = std::move(task);
    entry->isTask = true;
    entry->sent = true;
    Add(entry);
    WaitFor(entry);
}

bool CMessageQueue::DispatchOne(const std::function<LRESULT(const MSG&)>& deliver)
{
    std::shared_ptr<Pending> entry;
    {
        std::lock_guard lock(m_mutex);
        if (m_entries.empty())
            return false;
        entry = std::move(m_entries.front());
        m_entries.pop_front();
    }
    LRESULT result = 0;
    if (entry->isTask)
        entry->task();
    else
        result = deliver(entry->msg);
    if (entry->sent) {
        std::lock_guard lock(m_mutex);
        entry->result = result;
        entry->done = true;
        m_finished.notify_all();
    }
    return true;
}

void CMessageQueue::Shutdown()
{
    std::lock_guard lock(m_mutex);
    m_shutdown = true;
    m_entries.clear();
    m_finished.notify_all();
}
