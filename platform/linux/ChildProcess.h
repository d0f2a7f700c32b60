#pragma once

#include "platform/linux/UniqueFd.h"

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace platform::linux {

// A tool run with posix_spawn (no shell): optionally fed through its standard input, with its
// standard output and error merged into lines for the caller. A child still running when the
// object goes is killed and reaped.
class ChildProcess {
public:
    struct Options {
        std::vector<std::string> arguments;         // [0]: the program, a path or a name found in PATH
        std::vector<std::string> extraEnvironment;  // "NAME=value", overriding the inherited value
        bool feedInput = false;                     // false: standard input is /dev/null
        bool readOutput = false;                    // standard output kept apart, for ReadOutput
    };

    // Empty when the program can't be started; `error` then says why.
    static std::optional<ChildProcess> Spawn(const Options& options, std::string& error);

    // Full path of a tool, searched in SearchFolders(); empty when absent. A name with a slash
    // is taken as it is.
    static std::string FindProgram(const std::string& name);

    // Where tools are looked for, in order: the CD's tool folder (kCdToolFolder below the CD
    // root: the Linux tools the job runs lie beside the boot-loader installer), then PATH, then
    // /usr/sbin, /sbin, /usr/bin and /bin. Every child gets these folders as its PATH, so a tool
    // that runs others by name (the installer runs mtools) finds the CD's too.
    static std::vector<std::string> SearchFolders();
    static constexpr const char* kCdToolFolder = "syslinux";

    ChildProcess(ChildProcess&& other) noexcept;
    ChildProcess& operator=(ChildProcess&&) = delete;
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;
    ~ChildProcess();

    // Writes all bytes to the child's input while collecting its output; false when the child
    // stopped reading (it ended or failed).
    bool WriteInput(const void* data, std::size_t size);
    void CloseInput();

    // With readOutput: up to `size` bytes of the child's standard output (its errors still come
    // as lines); 0 once it has closed it, -1 on a failure.
    ssize_t ReadOutput(void* buffer, std::size_t size);

    // Collects output until the child closes it, then reaps the child. Returns its exit code;
    // 128 + signal number when a signal ended it; -1 when it can't be reaped.
    int Wait();

    // Lines of merged output seen so far (without line ends); each is handed to the sink once.
    void SetOutputSink(std::function<void(const std::string& line)> sink) { m_outputSink = std::move(sink); }

private:
    ChildProcess(pid_t pid, UniqueFd input, UniqueFd output, UniqueFd data);
    bool DrainOutput(bool block);
    void EmitLines(bool flushPartial);
    void KillAndReap();

    pid_t m_pid = -1;
    UniqueFd m_input;
    UniqueFd m_output;
    UniqueFd m_data;
    std::string m_pendingOutput;
    std::function<void(const std::string&)> m_outputSink;
};

} // namespace platform::linux
