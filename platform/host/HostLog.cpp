#include "platform/host/HostLog.h"

#include <cstdlib>

namespace platform {

HostLog HostLog::FromEnvironment()
{
    const char* path = std::getenv("ARKEVEN_HOST_LOG");
    if (!path || !*path)
        return {};
    return HostLog(path);
}

std::string HostLog::Position(int x, int y)
{
    return std::to_string(x) + "," + std::to_string(y);
}

std::string HostLog::Size(int width, int height)
{
    return std::to_string(width) + "x" + std::to_string(height);
}

const char* HostLog::ShowStateName(ShowState state)
{
    switch (state) {
    case ShowState::Hidden:
        return "hidden";
    case ShowState::Normal:
        return "normal";
    case ShowState::Minimised:
        return "minimised";
    }
    return "?";
}

HostLog& HostLog::Shared()
{
    static HostLog log = FromEnvironment();
    return log;
}

HostLog::HostLog(const std::string& path)
    : m_file(std::fopen(path.c_str(), "a"))
{
}

void HostLog::Write(const char* verb, const std::string& instanceName, const std::string& argument)
{
    if (!m_file)
        return;
    std::string line = verb;
    line += ' ';
    line += instanceName;
    if (!argument.empty()) {
        line += ' ';
        line += argument;
    }
    // Keep one request per line whatever a caption holds.
    for (char& c : line) {
        if (c == '\n' || c == '\r')
            c = ' ';
    }
    line += '\n';
    // One write per line: several processes (a second instance) may append to the same file.
    std::fwrite(line.data(), 1, line.size(), m_file.get());
    std::fflush(m_file.get());
}

} // namespace platform
