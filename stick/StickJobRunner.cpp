#include "stick/StickJobRunner.h"

StickJobRunner::StickJobRunner(platform::Sticks& sticks)
    : m_sticks(sticks)
{
}

StickJobRunner::~StickJobRunner()
{
    Wait();
}

void StickJobRunner::Start(StickJob::Target target, std::wstring sourceRoot, StickJob::Listener& listener,
    const std::atomic<bool>* cancel)
{
    Wait();
    m_thread = std::thread([this, target = std::move(target), sourceRoot = std::move(sourceRoot), &listener, cancel] {
        StickJob job(m_sticks, target, sourceRoot, listener, cancel);
        job.Run();
    });
}

void StickJobRunner::Wait()
{
    if (m_thread.joinable())
        m_thread.join();
}
