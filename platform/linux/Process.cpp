#include "platform/Drives.h"
#include "platform/Process.h"

#include "platform/linux/ChildProcess.h"
#include "platform/linux/OwnExecutable.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace platform {

std::wstring GetModuleFileNameW()
{
    std::string path = linux::OwnExecutablePath();
    if (path.empty())
        return {};
    return ToDrivePath(path);
}

void ShellExecuteW(const std::wstring& path)
{
    std::string native = ToNativePath(path);
    if (native.empty())
        return;
    std::string opener = linux::ChildProcess::FindProgram("xdg-open");
    if (opener.empty())
        return;
    std::vector<char*> arguments = { opener.data(), native.data(), nullptr };
    pid_t pid = -1;
    if (::posix_spawn(&pid, opener.c_str(), nullptr, nullptr, arguments.data(), environ) != 0)
        return;
    // The viewer outlives nothing of ours; reap it whenever it ends.
    std::thread([pid] {
        int status;
        while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) { }
    }).detach();
}

void ConsoleWrite(const std::string& text)
{
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
}

void UseParentConsole()
{
}

void PrepareProcess()
{
}

bool CanOpenVolumesForWriting()
{
    return true;
}

bool OutputIsTerminal()
{
    const char* terminal = std::getenv("TERM");
    return ::isatty(STDOUT_FILENO) && !(terminal && std::string(terminal) == "dumb");
}

bool InputIsTerminal()
{
    return ::isatty(STDIN_FILENO);
}

namespace {
std::atomic<bool>* s_stopOnInterrupt = nullptr;
} // namespace

void StopOnInterrupt(std::atomic<bool>& stop)
{
    s_stopOnInterrupt = &stop;
    struct sigaction action {};
    action.sa_handler = [](int) { s_stopOnInterrupt->store(true); };
    sigemptyset(&action.sa_mask);
    for (int signal : { SIGINT, SIGTERM, SIGHUP })
        ::sigaction(signal, &action, nullptr);
}

} // namespace platform
