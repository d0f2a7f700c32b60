#include "platform/Process.h"

#include "platform/linux/ChildProcess.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

// The Linux counterpart of the Windows manifest's administrator request. pkexec clears the
// environment, so what the window and the job need of it travels as arguments:
//   pkexec /path/to/arkeven --run-by-pkexec NAME=value ... -- original arguments
namespace platform {

namespace {

constexpr const char* kMarker = "--run-by-pkexec";
// pkexec's own answers: the request was dismissed or refused, or it could not authenticate.
constexpr int kPkexecNotAuthorized = 126;
constexpr int kPkexecFailed = 127;

const char* const kPassedOn[] = { "DISPLAY", "XAUTHORITY", "WAYLAND_DISPLAY", "XDG_RUNTIME_DIR", "DBUS_SESSION_BUS_ADDRESS", "LANG", "LANGUAGE",
    "ARKEVEN_VIRTUAL_STICKS", "ARKEVEN_CD_ROOT", "ARKEVEN_HOST", "ARKEVEN_HOST_LOG", "PWD" };

bool IsPassedOn(const std::string& name)
{
    for (const char* passed : kPassedOn) {
        if (name == passed)
            return true;
    }
    return name.rfind("LC_", 0) == 0;
}

bool HasDesktop()
{
    const char* host = std::getenv("ARKEVEN_HOST");
    if (host && std::strcmp(host, "headless") == 0)
        return false;
    const char* display = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    return (display && *display) || (wayland && *wayland);
}

std::vector<std::string> SettingsToPassOn()
{
    std::vector<std::string> settings;
    for (const char* name : kPassedOn) {
        if (const char* value = std::getenv(name))
            settings.push_back(std::string(name) + "=" + value);
    }
    for (char** entry = environ; entry && *entry; ++entry) {
        if (std::strncmp(*entry, "LC_", 3) == 0)
            settings.push_back(*entry);
    }
    // Without XAUTHORITY the X library looks in $HOME, which is root's after pkexec.
    const char* home = std::getenv("HOME");
    if (!std::getenv("XAUTHORITY") && home) {
        std::string cookie = std::string(home) + "/.Xauthority";
        if (::access(cookie.c_str(), R_OK) == 0)
            settings.push_back("XAUTHORITY=" + cookie);
    }
    char folder[PATH_MAX];
    if (::getcwd(folder, sizeof folder))
        settings.push_back(std::string("PWD=") + folder);
    return settings;
}

} // namespace

std::optional<int> RunWithAdministratorRights(const std::vector<std::string>& arguments)
{
    if (::geteuid() == 0 || !HasDesktop())
        return std::nullopt;
    std::string pkexec = posix::ChildProcess::FindProgram("pkexec");
    char self[PATH_MAX];
    ssize_t length = ::readlink("/proc/self/exe", self, sizeof self - 1);
    if (pkexec.empty() || length <= 0)
        return std::nullopt;

    std::vector<std::string> words = { pkexec, std::string(self, static_cast<size_t>(length)), kMarker };
    for (auto& setting : SettingsToPassOn())
        words.push_back(setting);
    words.push_back("--");
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (auto& word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);

    pid_t pid = -1;
    if (::posix_spawn(&pid, pkexec.c_str(), nullptr, nullptr, argv.data(), environ) != 0)
        return std::nullopt;
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR)
            return std::nullopt;
    }
    if (!WIFEXITED(status))
        return 128 + (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
    int code = WEXITSTATUS(status);
    if (code == kPkexecNotAuthorized || code == kPkexecFailed)
        return std::nullopt; // no rights: the launcher runs on, and a job says what it lacks
    return code;
}

bool AdoptSettingsOfFirstRun(std::vector<std::string>& arguments)
{
    if (arguments.empty() || arguments[0] != kMarker)
        return false;
    size_t index = 1;
    for (; index < arguments.size() && arguments[index] != "--"; ++index) {
        const std::string& setting = arguments[index];
        auto equals = setting.find('=');
        std::string name = setting.substr(0, equals == std::string::npos ? 0 : equals);
        if (!IsPassedOn(name))
            continue; // nothing else of the first run reaches a run with administrator rights
        std::string value = setting.substr(equals + 1);
        if (name == "PWD" && ::chdir(value.c_str()) != 0)
            continue;
        ::setenv(name.c_str(), value.c_str(), 1);
    }
    arguments.erase(arguments.begin(), arguments.begin() + static_cast<std::ptrdiff_t>(std::min(index + 1, arguments.size())));
    return true;
}

} // namespace platform
