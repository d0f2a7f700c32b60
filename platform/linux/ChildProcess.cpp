#include "platform/linux/ChildProcess.h"

#include "platform/linux/DriveTable.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <map>
#include <poll.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace platform::linux {

namespace {

constexpr int kFedPipeSize = 1024 * 1024;

std::vector<std::string> MergedEnvironment(const std::vector<std::string>& extra)
{
    std::map<std::string, std::string> byName;
    std::vector<std::string> order;
    auto add = [&](const std::string& entry) {
        auto name = entry.substr(0, entry.find('='));
        if (byName.find(name) == byName.end())
            order.push_back(name);
        byName[name] = entry;
    };
    for (char** entry = environ; entry && *entry; ++entry)
        add(*entry);
    for (auto& entry : extra)
        add(entry);
    std::vector<std::string> merged;
    for (auto& name : order)
        merged.push_back(byName[name]);
    return merged;
}

bool IsExecutable(const std::string& path)
{
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && ::access(path.c_str(), X_OK) == 0;
}

// The caller's settings after PATH set to the folders FindProgram searches (a caller's own PATH
// still wins, as later settings do).
std::vector<std::string> WithSearchPath(const std::vector<std::string>& settings)
{
    std::string path;
    for (auto& folder : ChildProcess::SearchFolders())
        path += (path.empty() ? "" : ":") + folder;
    std::vector<std::string> result { "PATH=" + path };
    result.insert(result.end(), settings.begin(), settings.end());
    return result;
}

// Writes to a pipe whose reader may be gone: SIGPIPE is blocked for this thread and a pending one
// is taken back, so only EPIPE reports it and the process lives on.
ssize_t WriteWithoutSigpipe(int fd, const void* data, std::size_t size)
{
    sigset_t pipeOnly, previous;
    sigemptyset(&pipeOnly);
    sigaddset(&pipeOnly, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipeOnly, &previous);
    ssize_t written = ::write(fd, data, size);
    int savedErrno = errno;
    // The reader may go away in the middle of a write that still returns a short count.
    sigset_t pending;
    sigemptyset(&pending);
    if (sigpending(&pending) == 0 && sigismember(&pending, SIGPIPE)) {
        timespec noWait {};
        while (sigtimedwait(&pipeOnly, nullptr, &noWait) > 0) { }
    }
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    errno = savedErrno;
    return written;
}

} // namespace

std::vector<std::string> ChildProcess::SearchFolders()
{
    std::vector<std::string> folders;
    auto add = [&folders](const std::string& folder) {
        if (!folder.empty() && std::find(folders.begin(), folders.end(), folder) == folders.end())
            folders.push_back(folder);
    };
    if (auto cd = DriveTable::Instance().CdRoot())
        add(cd->path + "/" + kCdToolFolder);
    std::string path = ::getenv("PATH") ? ::getenv("PATH") : "/usr/bin:/bin";
    for (std::size_t start = 0; start <= path.size();) {
        auto end = std::min(path.find(':', start), path.size());
        add(path.substr(start, end - start));
        start = end + 1;
    }
    for (const char* folder : { "/usr/sbin", "/sbin", "/usr/bin", "/bin" })
        add(folder);
    return folders;
}

std::string ChildProcess::FindProgram(const std::string& name)
{
    if (name.find('/') != std::string::npos)
        return IsExecutable(name) ? name : std::string();
    for (auto& folder : SearchFolders()) {
        if (IsExecutable(folder + "/" + name))
            return folder + "/" + name;
    }
    return {};
}

std::optional<ChildProcess> ChildProcess::Spawn(const Options& options, std::string& error)
{
    if (options.arguments.empty()) {
        error = "no program given";
        return std::nullopt;
    }
    auto program = FindProgram(options.arguments[0]);
    if (program.empty()) {
        error = options.arguments[0] + ": program not found";
        return std::nullopt;
    }

    int inputPipe[2] = { -1, -1 };
    int outputPipe[2] = { -1, -1 };
    int dataPipe[2] = { -1, -1 };
    if (::pipe2(outputPipe, O_CLOEXEC) != 0 || (options.feedInput && ::pipe2(inputPipe, O_CLOEXEC) != 0)
        || (options.readOutput && ::pipe2(dataPipe, O_CLOEXEC) != 0)) {
        error = std::string("pipe: ") + std::strerror(errno);
        for (int fd : { outputPipe[0], outputPipe[1], inputPipe[0], inputPipe[1], dataPipe[0], dataPipe[1] })
            if (fd >= 0)
                ::close(fd);
        return std::nullopt;
    }
    UniqueFd outputRead(outputPipe[0]), outputWrite(outputPipe[1]);
    UniqueFd inputRead(inputPipe[0]), inputWrite(inputPipe[1]);
    UniqueFd dataRead(dataPipe[0]), dataWrite(dataPipe[1]);
    // Fed data comes in large chunks (a file copy's megabyte), and read output goes out in them: a
    // pipe that holds one moves it in one write and lets the reader take large pieces. Best
    // effort: the default size still works.
    if (options.feedInput)
        ::fcntl(inputWrite.Get(), F_SETPIPE_SZ, kFedPipeSize);
    if (options.readOutput)
        ::fcntl(dataWrite.Get(), F_SETPIPE_SZ, kFedPipeSize);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (options.feedInput)
        posix_spawn_file_actions_adddup2(&actions, inputRead.Get(), 0);
    else
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, options.readOutput ? dataWrite.Get() : outputWrite.Get(), 1);
    posix_spawn_file_actions_adddup2(&actions, outputWrite.Get(), 2);

    // The child starts with default signal handling and nothing blocked, whatever this thread has.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t defaults, emptyMask;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    sigaddset(&defaults, SIGINT);
    sigaddset(&defaults, SIGTERM);
    sigemptyset(&emptyMask);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setsigmask(&attributes, &emptyMask);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);

    std::vector<char*> argv;
    for (auto& argument : options.arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv[0] = const_cast<char*>(program.c_str());
    argv.push_back(nullptr);
    auto environment = MergedEnvironment(WithSearchPath(options.extraEnvironment));
    std::vector<char*> envp;
    for (auto& entry : environment)
        envp.push_back(const_cast<char*>(entry.c_str()));
    envp.push_back(nullptr);

    pid_t pid = -1;
    int result = ::posix_spawn(&pid, program.c_str(), &actions, &attributes, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    if (result != 0) {
        error = program + ": " + std::strerror(result);
        return std::nullopt;
    }
    return ChildProcess(pid, std::move(inputWrite), std::move(outputRead), std::move(dataRead));
}

ChildProcess::ChildProcess(pid_t pid, UniqueFd input, UniqueFd output, UniqueFd data)
    : m_pid(pid)
    , m_input(std::move(input))
    , m_output(std::move(output))
    , m_data(std::move(data))
{
}

ChildProcess::ChildProcess(ChildProcess&& other) noexcept
    : m_pid(std::exchange(other.m_pid, -1))
    , m_input(std::move(other.m_input))
    , m_output(std::move(other.m_output))
    , m_data(std::move(other.m_data))
    , m_pendingOutput(std::move(other.m_pendingOutput))
    , m_outputSink(std::move(other.m_outputSink))
{
}

ChildProcess::~ChildProcess()
{
    KillAndReap();
}

void ChildProcess::KillAndReap()
{
    m_input.Reset();
    if (m_pid <= 0)
        return;
    ::kill(m_pid, SIGKILL);
    int status = 0;
    while (::waitpid(m_pid, &status, 0) < 0 && errno == EINTR) { }
    m_pid = -1;
}

bool ChildProcess::DrainOutput(bool block)
{
    if (!m_output)
        return false;
    char buffer[4096];
    for (;;) {
        pollfd entry { m_output.Get(), POLLIN, 0 };
        int ready = ::poll(&entry, 1, block ? -1 : 0);
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            return true;
        ssize_t count = ::read(m_output.Get(), buffer, sizeof buffer);
        if (count < 0 && errno == EINTR)
            continue;
        if (count <= 0) {
            m_output.Reset();
            EmitLines(true);
            return false;
        }
        m_pendingOutput.append(buffer, static_cast<std::size_t>(count));
        EmitLines(false);
    }
}

void ChildProcess::EmitLines(bool flushPartial)
{
    std::size_t start = 0;
    for (;;) {
        auto end = m_pendingOutput.find('\n', start);
        if (end == std::string::npos)
            break;
        auto line = m_pendingOutput.substr(start, end - start);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (m_outputSink)
            m_outputSink(line);
        start = end + 1;
    }
    m_pendingOutput.erase(0, start);
    if (flushPartial && !m_pendingOutput.empty()) {
        if (m_outputSink)
            m_outputSink(m_pendingOutput);
        m_pendingOutput.clear();
    }
}

bool ChildProcess::WriteInput(const void* data, std::size_t size)
{
    if (!m_input)
        return false;
    auto* bytes = static_cast<const char*>(data);
    while (size > 0) {
        pollfd entries[2] = { { m_input.Get(), POLLOUT, 0 }, { m_output.Get(), POLLIN, 0 } };
        int ready = ::poll(entries, m_output ? 2 : 1, -1);
        if (ready < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        // Output is read while feeding, so a chatty child can't block on a full pipe meanwhile.
        if (m_output && (entries[1].revents & (POLLIN | POLLHUP)))
            DrainOutput(false);
        if (entries[0].revents & (POLLERR | POLLNVAL))
            return false;
        if (!(entries[0].revents & (POLLOUT | POLLHUP)))
            continue;
        ssize_t written = WriteWithoutSigpipe(m_input.Get(), bytes, size);
        if (written < 0) {
            if (errno == EINTR || errno == EAGAIN)
                continue;
            return false;
        }
        bytes += written;
        size -= static_cast<std::size_t>(written);
    }
    return true;
}

void ChildProcess::CloseInput()
{
    m_input.Reset();
}

ssize_t ChildProcess::ReadOutput(void* buffer, std::size_t size)
{
    while (m_data) {
        pollfd entries[2] = { { m_data.Get(), POLLIN, 0 }, { m_output.Get(), POLLIN, 0 } };
        int ready = ::poll(entries, m_output ? 2 : 1, -1);
        if (ready < 0) {
            if (errno == EINTR)
                continue;
            return -1;
        }
        // Errors are collected meanwhile, so a child that complains can't block on a full pipe.
        if (m_output && (entries[1].revents & (POLLIN | POLLHUP)))
            DrainOutput(false);
        if (!(entries[0].revents & (POLLIN | POLLHUP | POLLERR)))
            continue;
        ssize_t count = ::read(m_data.Get(), buffer, size);
        if (count < 0 && errno == EINTR)
            continue;
        if (count <= 0)
            m_data.Reset();
        return count;
    }
    return 0;
}

int ChildProcess::Wait()
{
    m_input.Reset();
    m_data.Reset(); // a reader that stopped early: the child ends on a broken pipe
    while (DrainOutput(true)) { }
    if (m_pid <= 0)
        return -1;
    int status = 0;
    pid_t reaped;
    do {
        reaped = ::waitpid(m_pid, &status, 0);
    } while (reaped < 0 && errno == EINTR);
    m_pid = -1;
    if (reaped < 0)
        return -1;
    if (WIFEXITED(status))
        return WEXITSTATUS(status);
    if (WIFSIGNALED(status))
        return 128 + WTERMSIG(status);
    return -1;
}

} // namespace platform::linux
