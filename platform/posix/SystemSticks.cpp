#include "platform/StickTools.h"

#include "platform/Drives.h"
#include "platform/posix/ChildProcess.h"

namespace platform {

namespace {

// What the job runs: the formatter, the copies and read-backs, and what the boot-loader
// installer itself runs on the volume (mattrib, mcopy, mmove).
struct Package {
    const char* name;
    std::vector<const char*> programs;
};
const Package kJobPackages[] = {
    { "dosfstools", { "mkfs.fat" } },
    { "mtools", { "mattrib", "mcopy", "mdel", "mdir", "mmove", "mtype" } },
};

} // namespace

std::vector<std::string> MissingStickTools()
{
    std::vector<std::string> missing;
    for (const Package& package : kJobPackages) {
        std::string programs;
        for (const char* program : package.programs) {
            if (posix::ChildProcess::FindProgram(program).empty())
                programs += (programs.empty() ? "" : ", ") + std::string(program);
        }
        if (!programs.empty())
            missing.push_back(programs + " (" + package.name + ")");
    }
    return missing;
}

std::wstring FindInstallerProgram(const std::wstring& program)
{
    // A path: found only when it is an executable file, as the installer's run needs it.
    std::string native = ToNativePath(program);
    if (native.empty() || posix::ChildProcess::FindProgram(native).empty())
        return {};
    return program;
}

} // namespace platform
