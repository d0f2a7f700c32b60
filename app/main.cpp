#include "app/CArkevenApp.h"
#include "app/DriveReport.h"
#include "app/ProgramEntry.h"
#include "app/ProgramOptions.h"
#include "app/Snapshot.h"

#include <cstdio>
#include <string>
#include <vector>

CArkevenApp theApp;

int ArkevenMain(const std::vector<std::string>& arguments)
{
    ProgramOptions options = ProgramOptions::Parse(arguments);
    switch (options.action) {
    case ProgramOptions::Action::Launch:
        std::fputs(options.IgnoredNote().c_str(), stderr);
        return AfxWinMain();
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
    }
    return 2;
}

int main(int argc, char** argv)
{
    return ArkevenMain(std::vector<std::string>(argv + 1, argv + argc));
}
