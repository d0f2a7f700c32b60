// The stick job's helper process on Linux: the window stays the user's, and only this process
// gets root (through pkexec) when the user may not write a stick.
#include "platform/StickHelper.h"

#include "platform/files/Utf8.h"
#include "platform/linux/ChildProcess.h"
#include "platform/linux/DriveTable.h"
#include "platform/linux/MountTable.h"
#include "platform/linux/UniqueFd.h"

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <mutex>
#include <set>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace platform {

using posix::DriveInfo;
using posix::DriveTable;
using posix::UniqueFd;

namespace {

// pkexec's own answers: the request was dismissed, or not authorised (or it failed).
constexpr int kPkexecDismissed = 126;
constexpr int kPkexecNotAuthorized = 127;
constexpr const char* kVirtualStickWord = "--virtual-stick=";
constexpr std::size_t kReadChunk = 4096;

std::string OwnExecutable()
{
    char path[PATH_MAX];
    ssize_t length = ::readlink("/proc/self/exe", path, sizeof path - 1);
    return length > 0 ? std::string(path, static_cast<size_t>(length)) : std::string();
}

// Whether this process may do to the drive what a job does: open its disk for writing, and
// unmount what the system mounted from it (which only root may).
bool MayWrite(const DriveInfo& drive)
{
    if (::geteuid() == 0)
        return true;
    if (::access(drive.path.c_str(), W_OK) != 0)
        return false;
    return posix::MountTable::Load().MountsOnDisk(drive.path).empty();
}

class HelperProcess final : public StickHelperProcess {
public:
    HelperProcess(pid_t pid, UniqueFd input, UniqueFd output, bool throughPkexec)
        : m_pid(pid)
        , m_input(std::move(input))
        , m_output(std::move(output))
        , m_throughPkexec(throughPkexec)
    {
    }

    ~HelperProcess() override
    {
        if (m_reaped)
            return;
        // Given up on: reaped whenever it ends.
        std::thread([pid = m_pid] {
            int status;
            while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) { }
        }).detach();
    }

    std::optional<std::string> ReadLine(std::size_t maxLength) override
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

    // The helper stops when its input ends; closing it can't fail, whoever the helper runs as.
    void Stop() override
    {
        std::lock_guard lock(m_inputMutex);
        m_input.Reset();
    }

    void Abandon() override
    {
        // A helper that runs as root is beyond this process's signals; without its pipes it stops
        // at its next step.
        ::kill(m_pid, SIGKILL);
        Stop();
        m_output.Reset();
    }

    Exit Wait() override
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

private:
    pid_t m_pid;
    std::mutex m_inputMutex;
    UniqueFd m_input;
    UniqueFd m_output;
    bool m_throughPkexec;
    bool m_reaped = false;
    std::string m_buffer;
};

class HelperChannel final : public StickHelperChannel {
public:
    explicit HelperChannel(UniqueFd reports)
        : m_reports(std::move(reports))
    {
    }

    bool Send(const std::string& line) override
    {
        std::lock_guard lock(m_mutex);
        std::string text = line + "\n";
        std::size_t done = 0;
        while (m_reports && done < text.size()) {
            ssize_t written = ::write(m_reports.Get(), text.data() + done, text.size() - done);
            if (written < 0 && errno == EINTR)
                continue;
            if (written <= 0)
                m_reports.Reset();
            else
                done += static_cast<size_t>(written);
        }
        return m_reports.IsValid();
    }

    void StopWhenAsked(std::atomic<bool>& stop) override
    {
        std::thread([&stop] {
            char ignored[64];
            ssize_t count;
            while ((count = ::read(STDIN_FILENO, ignored, sizeof ignored)) > 0 || (count < 0 && errno == EINTR)) { }
            stop = true;
        }).detach();
    }

private:
    std::mutex m_mutex;
    UniqueFd m_reports;
};

} // namespace

bool StickJobsRunInHelper()
{
    return true;
}

HelperStart StartStickHelper(const std::vector<HelperTarget>& targets)
{
    HelperStart start;
    std::string self = OwnExecutable();
    if (self.empty()) {
        start.error = "can't find the program's own executable";
        return start;
    }
    DriveTable& table = DriveTable::Instance();
    table.Rescan();
    std::vector<std::string> words = { self, kStickHelperOption };
    std::vector<std::string> sticks;
    bool needsRights = false;
    for (const HelperTarget& target : targets) {
        words.push_back(std::string(1, static_cast<char>(target.letter)) + "=" + ToUtf8(target.identity));
        auto drive = table.Find(static_cast<char>(target.letter));
        if (!drive)
            continue; // the helper finds it gone and says so
        if (drive->kind == DriveInfo::Kind::VirtualStick)
            sticks.push_back(kVirtualStickWord + drive->path + (drive->type == DriveType::Fixed ? ":fixed" : ":removable"));
        needsRights = needsRights || !MayWrite(*drive);
    }
    words.insert(words.end(), sticks.begin(), sticks.end());
    if (needsRights) {
        std::string pkexec = posix::ChildProcess::FindProgram("pkexec");
        if (pkexec.empty()) {
            start.rightsUnavailable = true;
            start.error = "writing the stick needs root's rights, and pkexec (policykit-1) is missing to ask for them";
            return start;
        }
        words.insert(words.begin(), pkexec);
    }

    int inputPipe[2];
    int outputPipe[2];
    if (::pipe2(inputPipe, O_CLOEXEC) != 0) {
        start.error = std::string("can't make a pipe: ") + std::strerror(errno);
        return start;
    }
    UniqueFd inputRead(inputPipe[0]), inputWrite(inputPipe[1]);
    if (::pipe2(outputPipe, O_CLOEXEC) != 0) {
        start.error = std::string("can't make a pipe: ") + std::strerror(errno);
        return start;
    }
    UniqueFd outputRead(outputPipe[0]), outputWrite(outputPipe[1]);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, inputRead.Get(), STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, outputWrite.Get(), STDOUT_FILENO);
    // Nothing of this process beyond its standard error: not its display's connection either.
    posix_spawn_file_actions_addclosefrom_np(&actions, STDERR_FILENO + 1);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t all, none;
    sigfillset(&all);
    sigemptyset(&none);
    posix_spawnattr_setsigdefault(&attributes, &all);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
    std::vector<char*> argv;
    for (std::string& word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);
    // Nothing of the caller's environment: no display, no bus, no log, no CD path.
    char* environment[] = { nullptr };
    pid_t pid = -1;
    int result = ::posix_spawn(&pid, argv[0], &actions, &attributes, argv.data(), environment);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    if (result != 0) {
        start.error = "can't start " + std::string(argv[0]) + ": " + std::strerror(result);
        return start;
    }
    start.process = std::make_unique<HelperProcess>(pid, std::move(inputWrite), std::move(outputRead), needsRights);
    return start;
}

std::optional<std::vector<HelperTarget>> AdoptStickHelperArguments(const std::vector<std::string>& words)
{
    std::vector<HelperTarget> targets;
    std::set<wchar_t> letters;
    std::string sticks;
    for (const std::string& word : words) {
        if (word.rfind(kVirtualStickWord, 0) == 0) {
            std::string stick = word.substr(std::strlen(kVirtualStickWord));
            auto kind = stick.rfind(':');
            bool known = kind != std::string::npos && (stick.substr(kind) == ":fixed" || stick.substr(kind) == ":removable");
            if (stick.empty() || stick[0] != '/' || !known || stick.find(',') != std::string::npos)
                return std::nullopt;
            sticks += (sticks.empty() ? "" : ",") + stick;
            continue;
        }
        if (word.size() < 3 || word[0] < 'A' || word[0] > 'Z' || word[1] != '=' || !letters.insert(word[0]).second)
            return std::nullopt;
        targets.push_back({ static_cast<wchar_t>(word[0]), FromUtf8(word.substr(2)) });
    }
    if (targets.empty())
        return std::nullopt;
    DriveTable::Options options = DriveTable::DefaultOptions();
    // The CD is the one the helper itself lies on, whatever the environment says.
    std::filesystem::path self = OwnExecutable();
    options.cdRoot = self.empty() ? std::string() : self.parent_path().parent_path().string();
    options.virtualSticks = sticks;
    DriveTable::ResetInstance(options);
    return targets;
}

std::unique_ptr<StickHelperChannel> OpenStickHelperChannel()
{
    // A program that went away ends the reports, not the helper: it stops at its next step.
    std::signal(SIGPIPE, SIG_IGN);
    UniqueFd reports(::fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, STDERR_FILENO + 1));
    if (!reports)
        return nullptr;
    ::dup2(STDERR_FILENO, STDOUT_FILENO);
    return std::make_unique<HelperChannel>(std::move(reports));
}

} // namespace platform
