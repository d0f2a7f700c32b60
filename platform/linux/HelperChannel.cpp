#include "platform/linux/HelperChannel.h"

#include <cerrno>
#include <thread>
#include <unistd.h>

namespace platform::linux {

HelperChannel::HelperChannel(UniqueFd reports)
    : m_reports(std::move(reports))
{
}

bool HelperChannel::Send(const std::string& line)
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

void HelperChannel::StopWhenAsked(std::atomic<bool>& stop)
{
    std::thread([&stop] {
        char ignored[64];
        ssize_t count;
        while ((count = ::read(STDIN_FILENO, ignored, sizeof ignored)) > 0 || (count < 0 && errno == EINTR)) { }
        stop = true;
    }).detach();
}

} // namespace platform::linux
