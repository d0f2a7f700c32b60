#pragma once

#include "platform/StickHelper.h"
#include "platform/linux/UniqueFd.h"

#include <mutex>

namespace platform::linux {

// The helper's way back to the program: the reports, a line at a time from any job's thread, on
// the pipe it was given as standard output; a stop when its standard input ends.
class HelperChannel final : public StickHelperChannel {
public:
    explicit HelperChannel(UniqueFd reports);

    bool Send(const std::string& line) override;
    void StopWhenAsked(std::atomic<bool>& stop) override;

private:
    std::mutex m_mutex;
    UniqueFd m_reports;
};

} // namespace platform::linux
