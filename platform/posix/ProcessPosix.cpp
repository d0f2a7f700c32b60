#include "platform/Drives.h"
#include "platform/Process.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace platform {

std::wstring GetModuleFileNameW()
{
    char path[PATH_MAX];
    ssize_t length = ::readlink("/proc/self/exe", path, sizeof path - 1);
    if (length <= 0)
        return {};
    return ToDrivePath(std::string(path, static_cast<size_t>(length)));
}

void ShellExecuteW(const std::wstring& path)
{
    std::string native = ToNativePath(path);
    if (native.empty())
        return;
    const char* opener = "xdg-open";
    char* arguments[] = { const_cast<char*>(opener), native.data(), nullptr };
    pid_t pid;
    if (::posix_spawnp(&pid, opener, nullptr, nullptr, arguments, environ) != 0)
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

} // namespace platform
