#pragma once

#include <optional>
#include <string>

namespace platform::posix {

// The one command line the writer runs: "<drive path of the installer> -fma E:". Options may
// come grouped or apart, in any order; the target is a drive letter with its colon.
struct InstallerCommand {
    std::wstring program;   // as written, a drive path such as D:\syslinux\syslinux
    bool force = false;     // -f
    bool writeMbr = false;  // -m
    bool makeActive = false; // -a
    char targetDrive = 0;

    // Empty, with the reason in `error`, for any other command line.
    static std::optional<InstallerCommand> Parse(const std::wstring& commandLine, std::string& error);
};

} // namespace platform::posix
