#include "app/CArkevenApp.h"
#include "app/DriveReport.h"
#include "app/ProgramEntry.h"
#include "app/Snapshot.h"
#include "platform/Process.h"

#include <cstdio>
#include <string>
#include <vector>

CArkevenApp theApp;

namespace {

void PrintUsage()
{
    std::fprintf(stderr,
        "usage: arkeven                          start the launcher\n"
        "       arkeven --list-drives            print the drive letters and what the drive list would show\n"
        "       arkeven --snapshot SECTION FILE  save one window (MainFrm, AppFrm, ModelFrm, OSFrm, UsbFrm) as PNG\n");
}

// The launcher, with the rights to write a stick asked for first where the system needs it.
int RunLauncher(bool startedWithRights)
{
    if (!startedWithRights) {
        if (auto status = platform::RunWithAdministratorRights({}))
            return *status;
    }
    return AfxWinMain();
}

} // namespace

int ArkevenMain(std::vector<std::string> arguments)
{
    bool startedWithRights = platform::AdoptSettingsOfFirstRun(arguments);
    if (arguments.empty())
        return RunLauncher(startedWithRights);
    if (arguments.size() == 1 && arguments[0] == "--list-drives") {
        std::fputs(DescribeDrives().c_str(), stdout);
        return 0;
    }
    if (arguments.size() == 3 && arguments[0] == "--snapshot")
        return SaveWindowSnapshot(arguments[1], arguments[2]);
    PrintUsage();
    return arguments[0] == "--help" ? 0 : 2;
}

int main(int argc, char** argv)
{
    return ArkevenMain(std::vector<std::string>(argv + 1, argv + argc));
}
