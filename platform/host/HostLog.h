#pragma once

#include "platform/Host.h"

#include <cstdio>
#include <memory>
#include <string>

namespace platform {

// The hosts' diagnostic trail: with ARKEVEN_HOST_LOG=<file> in the environment, every host
// appends one line per window request, "<verb> <instanceName>[ <arg>]", flushed at once so a
// test watching the file sees it while the program runs. Verbs and their arguments:
//   create MainFrm 100,80 640x480      caption MainFrm Varn MID
//   move MainFrm 100,80                resize MainFrm 640x480
//   show MainFrm hidden|normal|minimised
//   raise MainFrm                      destroy MainFrm
// The program adds what its windows show, so scripted runs can be checked:
//   text UsbFrm 10005 55% completed    progress UsbFrm 78
//   drives AppFrm E (300 MBytes)|F (300 MBytes) selected 1
// Without the variable (or when the file cannot be opened) nothing is written.
class HostLog {
public:
    static HostLog FromEnvironment();
    // One log for the whole process, for the program's own trace lines ("text", "progress").
    static HostLog& Shared();
    explicit HostLog(const std::string& path);
    HostLog() = default;

    bool IsEnabled() const { return m_file != nullptr; }

    // The arguments as every host writes them: "100,80", "640x480", "minimised".
    static std::string Position(int x, int y);
    static std::string Size(int width, int height);
    static const char* ShowStateName(ShowState state);
    void Write(const char* verb, const std::string& instanceName, const std::string& argument = {});

private:
    struct FileCloser {
        void operator()(std::FILE* file) const { std::fclose(file); }
    };
    std::unique_ptr<std::FILE, FileCloser> m_file;
};

} // namespace platform
