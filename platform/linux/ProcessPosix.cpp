#include "platform/Drives.h"
#include "platform/Process.h"

#include "platform/linux/ChildProcess.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <grp.h>
#include <optional>
#include <pwd.h>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

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

namespace {

// The user pkexec ran the program for (PKEXEC_UID), when it runs as root because of that.
struct DesktopUser {
    uid_t uid;
    gid_t gid;
    std::vector<gid_t> groups;
    std::string name;
    std::string home;
};

std::optional<DesktopUser> UserBehindPkexec()
{
    const char* uidText = std::getenv("PKEXEC_UID");
    if (::geteuid() != 0 || !uidText || !*uidText)
        return std::nullopt;
    char* end = nullptr;
    unsigned long uid = std::strtoul(uidText, &end, 10);
    if (*end != '\0' || uid == 0)
        return std::nullopt;
    std::vector<char> buffer(16384);
    passwd entry {};
    passwd* found = nullptr;
    if (::getpwuid_r(static_cast<uid_t>(uid), &entry, buffer.data(), buffer.size(), &found) != 0 || !found)
        return DesktopUser { static_cast<uid_t>(uid), static_cast<gid_t>(uid), {}, uidText, "/" };
    DesktopUser user { found->pw_uid, found->pw_gid, {}, found->pw_name, found->pw_dir };
    int count = 64;
    user.groups.resize(static_cast<size_t>(count));
    if (::getgrouplist(found->pw_name, found->pw_gid, user.groups.data(), &count) < 0) {
        user.groups.resize(static_cast<size_t>(count));
        ::getgrouplist(found->pw_name, found->pw_gid, user.groups.data(), &count);
    }
    user.groups.resize(static_cast<size_t>(std::max(count, 0)));
    return user;
}

// This process's environment as the user's own: their HOME, USER and LOGNAME; the display
// settings stay.
std::vector<std::string> EnvironmentOf(const DesktopUser& user)
{
    std::vector<std::string> environment;
    for (char** entry = environ; entry && *entry; ++entry) {
        std::string setting = *entry;
        if (setting.rfind("HOME=", 0) != 0 && setting.rfind("USER=", 0) != 0 && setting.rfind("LOGNAME=", 0) != 0)
            environment.push_back(setting);
    }
    environment.push_back("HOME=" + user.home);
    environment.push_back("USER=" + user.name);
    environment.push_back("LOGNAME=" + user.name);
    return environment;
}

// fork, drop to the user, exec: between fork and exec only system calls, all prepared before.
pid_t SpawnAsUser(const DesktopUser& user, const std::string& program, std::vector<char*>& argv)
{
    std::vector<std::string> environment = EnvironmentOf(user);
    std::vector<char*> envp;
    for (auto& setting : environment)
        envp.push_back(setting.data());
    envp.push_back(nullptr);
    pid_t pid = ::fork();
    if (pid != 0)
        return pid;
    if (::setgroups(user.groups.size(), user.groups.data()) != 0 || ::setgid(user.gid) != 0 || ::setuid(user.uid) != 0
        || ::setuid(0) == 0)
        ::_exit(127); // never run the opener as root
    ::execve(program.c_str(), argv.data(), envp.data());
    ::_exit(127);
}

} // namespace

void ShellExecuteW(const std::wstring& path)
{
    std::string native = ToNativePath(path);
    if (native.empty())
        return;
    std::string opener = posix::ChildProcess::FindProgram("xdg-open");
    if (opener.empty())
        return;
    std::vector<char*> arguments = { opener.data(), native.data(), nullptr };
    pid_t pid = -1;
    if (auto user = UserBehindPkexec())
        pid = SpawnAsUser(*user, opener, arguments);
    else if (::posix_spawn(&pid, opener.c_str(), nullptr, nullptr, arguments.data(), environ) != 0)
        pid = -1;
    if (pid < 0)
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
