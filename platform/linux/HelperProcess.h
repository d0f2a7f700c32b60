#pragma once

#include "platform/StickHelper.h"
#include "platform/linux/UniqueFd.h"

#include <mutex>
#include <string>
#include <sys/types.h>

namespace platform::linux {

// The stick job's helper as the program sees it: a child whose standard input and output are
// the program's pipes. One that was given up on is reaped whenever it ends.
class HelperProcess final : public StickHelperProcess {
public:
    // `throughPkexec`: the child is pkexec, whose own answers tell a refused request.
    HelperProcess(pid_t pid, UniqueFd input, UniqueFd output, bool throughPkexec);
    ~HelperProcess() override;

    std::optional<std::string> ReadLine(std::size_t maxLength) override;
    // The helper stops when its input ends; closing it can't fail, whoever the helper runs as.
    void Stop() override;
    void Abandon() override;
    Exit Wait() override;

private:
    pid_t m_pid;
    std::mutex m_inputMutex;
    UniqueFd m_input;
    UniqueFd m_output;
    bool m_throughPkexec;
    bool m_reaped = false;
    std::string m_buffer;
};

} // namespace platform::linux
