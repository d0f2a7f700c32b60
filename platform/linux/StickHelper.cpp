// The stick job's helper process on Linux: the window stays the user's, and only this process
// gets root (through pkexec) when the user may not write a stick.
#include "platform/StickHelper.h"

#include "platform/files/Utf8.h"
#include "platform/linux/ChildProcess.h"
#include "platform/linux/DriveTable.h"
#include "platform/linux/HelperChannel.h"
#include "platform/linux/HelperProcess.h"
#include "platform/linux/MountTable.h"
#include "platform/linux/OwnExecutable.h"
#include "platform/linux/UniqueFd.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <set>
#include <spawn.h>
#include <unistd.h>

namespace platform {

using linux::DriveInfo;
using linux::DriveTable;
using linux::UniqueFd;

namespace {

constexpr const char* kVirtualStickWord = "--virtual-stick=";

// Whether this process may do to the drive what a job does: open its disk for writing, and
// unmount what the system mounted from it (which only root may).
bool MayWrite(const DriveInfo& drive)
{
    if (::geteuid() == 0)
        return true;
    if (::access(drive.path.c_str(), W_OK) != 0)
        return false;
    return linux::MountTable::Load().MountsOnDisk(drive.path).empty();
}

} // namespace

bool StickJobsRunInHelper()
{
    return true;
}

HelperStart StartStickHelper(const std::vector<HelperTarget>& targets)
{
    HelperStart start;
    std::string self = linux::OwnExecutablePath();
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
        std::string pkexec = linux::ChildProcess::FindProgram("pkexec");
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
    start.process = std::make_unique<linux::HelperProcess>(pid, std::move(inputWrite), std::move(outputRead), needsRights);
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
    options.cdRoot = DriveTable::ProgramCdRoot();
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
    return std::make_unique<linux::HelperChannel>(std::move(reports));
}

} // namespace platform
