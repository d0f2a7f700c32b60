#include "platform/linux/HelperProcess.h"

#include <cerrno>
#include <csignal>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace platform::linux {

namespace {

// pkexec's own answers: the request was dismissed, or not authorised (or it failed).
constexpr int kPkexecDismissed = 126;
constexpr int kPkexecNotAuthorized = 127;
constexpr std::size_t kReadChunk = 4096;

} // namespace

HelperProcess::HelperProcess(pid_t pid, UniqueFd input, UniqueFd output, bool throughPkexec)
    : m_pid(pid)
    , m_input(std::move(input))
    , m_output(std::move(output))
    , m_throughPkexec(throughPkexec)
{
}

HelperProcess::~HelperProcess()
{
    if (m_reaped)
        return;
    std::thread([pid = m_pid] {
        int status;
        while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) { }
    }).detach();
}

std::optional<std::string> HelperProcess::ReadLine(std::size_t maxLength)
{
    while (true) {
        auto end = m_buffer.find('\n');
        if (end != std::string::npos && end <= maxLength) {
            std::string line = m_buffer.substr(0, end);
            m_buffer.erase(0, end + 1);
            return line;
        }
        if (end != std::string::npos || m_buffer.size() > maxLength) {
            // Too long to be a report: handed on as it is, and nothing more is read.
            m_output.Reset();
            std::string line = m_buffer.substr(0, maxLength + 1);
            m_buffer.clear();
            return line;
        }
        if (!m_output)
            return std::nullopt;
        char chunk[kReadChunk];
        ssize_t count = ::read(m_output.Get(), chunk, sizeof chunk);
        if (count < 0 && errno == EINTR)
            continue;
        if (count <= 0) {
            // A line cut off by the helper's end is no line.
            m_output.Reset();
            return std::nullopt;
        }
        m_buffer.append(chunk, static_cast<size_t>(count));
    }
}

void HelperProcess::Stop()
{
    std::lock_guard lock(m_inputMutex);
    m_input.Reset();
}

void HelperProcess::Abandon()
{
    // A helper that runs as root is beyond this process's signals; without its pipes it stops at
    // its next step.
    ::kill(m_pid, SIGKILL);
    Stop();
    m_output.Reset();
}

StickHelperProcess::Exit HelperProcess::Wait()
{
    Exit exit;
    int status = 0;
    while (::waitpid(m_pid, &status, 0) < 0) {
        if (errno != EINTR)
            return exit;
    }
    m_reaped = true;
    if (WIFSIGNALED(status)) {
        exit.status = 128 + WTERMSIG(status);
        return exit;
    }
    exit.status = WEXITSTATUS(status);
    exit.rightsRefused = m_throughPkexec && (exit.status == kPkexecDismissed || exit.status == kPkexecNotAuthorized);
    return exit;
}

} // namespace platform::linux
