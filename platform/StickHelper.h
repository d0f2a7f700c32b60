#pragma once

#include <atomic>
#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// Where a stick job runs. On Linux the program's windows are the user's and a job runs in a
// helper process: this executable in a mode of its own, started for the job's sticks (through
// pkexec when this user may not write one of them), handed nothing but the sticks, talking back
// over a pipe. Windows elevates the whole program through its manifest and runs jobs in it.
namespace platform {

// The option word of the helper mode.
constexpr const char* kStickHelperOption = "--stick-helper";

// A stick the helper is to write: the letter the program knows it by and its device's identity.
struct HelperTarget {
    wchar_t letter = 0;
    std::wstring identity;
};

// Whether stick jobs run in a helper process here.
bool StickJobsRunInHelper();

// ---- The program's side.
class StickHelperProcess {
public:
    struct Exit {
        int status = -1;
        bool rightsRefused = false; // the request for rights was dismissed or refused
    };

    virtual ~StickHelperProcess() = default;
    // The next line the helper wrote, without its line end; nullopt once its output has ended.
    // A line longer than `maxLength` comes as its first maxLength + 1 bytes, and nothing more is
    // read.
    virtual std::optional<std::string> ReadLine(std::size_t maxLength) = 0;
    // Asks it to stop its jobs at their next step; from any thread.
    virtual void Stop() = 0;
    // Gives up on it: it is stopped as far as this process may, and never waited for.
    virtual void Abandon() = 0;
    // Waits for its end.
    virtual Exit Wait() = 0;
};

struct HelperStart {
    std::unique_ptr<StickHelperProcess> process; // null when it could not be started
    bool rightsUnavailable = false;              // the rights it needs can't be asked for here
    std::string error;                           // why, in one line
};
// Starts the helper for `targets`, with the rights to write them asked for where this user lacks
// them.
HelperStart StartStickHelper(const std::vector<HelperTarget>& targets);

// ---- The helper's side.
// The targets in the helper's arguments (the words after its option), with the drives set up to
// find them; nullopt when the words are no such targets.
std::optional<std::vector<HelperTarget>> AdoptStickHelperArguments(const std::vector<std::string>& words);

class StickHelperChannel {
public:
    virtual ~StickHelperChannel() = default;
    // One line back to the program, from any thread; false once nobody reads it any more.
    virtual bool Send(const std::string& line) = 0;
    // Sets `stop`, from a thread of its own, when the program asks for a stop or has gone.
    virtual void StopWhenAsked(std::atomic<bool>& stop) = 0;
};
// Takes the standard output for the reports (anything else the process prints goes to standard
// error from now on) and the standard input for the requests to stop.
std::unique_ptr<StickHelperChannel> OpenStickHelperChannel();

} // namespace platform
