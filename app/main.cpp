#include "app/CArkevenApp.h"
#include "app/DriveReport.h"
#include "app/MakeStickCommand.h"
#include "app/ProgramEntry.h"
#include "app/ProgramOptions.h"
#include "app/Snapshot.h"
#include "app/StickHelperCommand.h"
#include "platform/Process.h"

#include <cstdio>
#include <string>
#include <vector>

CArkevenApp theApp;

namespace {

// The console twin has no launcher of its own: it starts the program beside it, which asks for
// its rights as always, and ends.
int StartProgramBesideTwin()
{
    std::wstring twin = platform::GetModuleFileNameW();
    std::wstring program = twin.substr(0, twin.find_last_of(L"\\/") + 1) + L"Arkeven.exe";
    platform::ShellExecuteW(program);
    return 0;
}

} // namespace

int ArkevenMain(std::vector<std::string> arguments, ProgramKind kind)
{
    platform::PrepareProcess();
    ProgramOptions options = ProgramOptions::Parse(arguments);
    if (options.action == ProgramOptions::Action::Launch) {
        std::fputs(options.IgnoredNote().c_str(), stderr);
        return kind == ProgramKind::ConsoleTwin ? StartProgramBesideTwin() : AfxWinMain();
    }
    // The twin is a console program: its standard handles are already the shell's, redirections
    // included.
    if (kind == ProgramKind::Program)
        platform::UseParentConsole();
    switch (options.action) {
    case ProgramOptions::Action::Launch:
        break;
    case ProgramOptions::Action::Help:
        std::fputs(ProgramOptions::Usage().c_str(), stdout);
        return 0;
    case ProgramOptions::Action::Mistake:
        std::fprintf(stderr, "arkeven: %s\n%s", options.mistake.c_str(), ProgramOptions::Usage().c_str());
        return 2;
    case ProgramOptions::Action::ListDrives:
        std::fputs(DescribeDrives().c_str(), stdout);
        return 0;
    case ProgramOptions::Action::Snapshot:
        return SaveWindowSnapshot(options.operands[0], options.operands[1]);
    case ProgramOptions::Action::MakeStick:
        return RunMakeStickCommand(options.operands);
    case ProgramOptions::Action::StickHelper:
        return RunStickHelperCommand(options.operands);
    }
    return 2;
}

int main(int argc, char** argv)
{
    return ArkevenMain(std::vector<std::string>(argv + 1, argv + argc));
}
