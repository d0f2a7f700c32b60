#pragma once

#include <string>
#include <vector>

// The programs a stick job runs beside the system's own calls, looked for before it writes
// anything.
namespace platform {

// The job's tools that can't be found here, grouped as a person installs them: on Linux each
// package with the missing programs it provides ("mattrib, mcopy (mtools)"). Empty when all are
// there; always empty on Windows, where the job runs nothing but the installer.
std::vector<std::string> MissingStickTools();

// The file that the command line "<program> -fma E:" runs, as the command interpreter finds it
// (Windows: "D:\syslinux\syslinux" completed to "syslinux.exe"); empty when there is none, or
// on POSIX when it is not an executable file.
std::wstring FindInstallerProgram(const std::wstring& program);

} // namespace platform
