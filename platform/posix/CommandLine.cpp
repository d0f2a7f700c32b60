#include "platform/Process.h"

#include "platform/Drives.h"
#include "platform/posix/BootLoaderInstaller.h"
#include "platform/posix/InstallerCommand.h"
#include "platform/posix/StickDrive.h"

#include <cstdio>

// _wsystem on POSIX knows one command: the CD's boot-loader installer, "D:\syslinux\syslinux
// -fma E:". The program is resolved through the drive table and run as the Linux installer on
// the stick's volume; its MBR code is the mbr.bin beside it.
namespace platform {

int RunCommandLine(const std::wstring& commandLine)
{
    std::string error;
    auto command = posix::InstallerCommand::Parse(commandLine, error);
    if (!command) {
        std::fprintf(stderr, "RunCommandLine: %s\n", error.c_str());
        return -1;
    }
    auto installer = ToNativePath(command->program);
    if (installer.empty()) {
        std::fprintf(stderr, "RunCommandLine: the installer is not on a known drive\n");
        return -1;
    }
    auto stick = posix::StickDrive::Volume(command->targetDrive, error);
    if (!stick) {
        std::fprintf(stderr, "RunCommandLine: %s\n", error.c_str());
        return 1;
    }

    posix::BootLoaderInstaller::Settings settings;
    settings.installerPath = installer;
    auto slash = installer.find_last_of('/');
    settings.mbrCodePath = (slash == std::string::npos ? std::string() : installer.substr(0, slash + 1)) + "mbr.bin";
    settings.force = command->force;
    settings.writeMbr = command->writeMbr;
    settings.makeActive = command->makeActive;

    posix::BootLoaderInstaller bootLoader(stick->volume, settings);
    int status = bootLoader.Run([](const std::string& line) { std::printf("%s\n", line.c_str()); }, error);
    std::fflush(stdout);
    if (status != 0)
        std::fprintf(stderr, "RunCommandLine: %s\n", error.c_str());
    return status;
}

} // namespace platform
