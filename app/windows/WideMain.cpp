#include "app/ProgramEntry.h"
#include "platform/files/Utf8.h"

// Arkeven.exe, or built with ARKEVEN_CONSOLE_TWIN its console twin Arkeven.com (linked without
// -mwindows, so that a shell waits for it and sees its status).
#ifdef ARKEVEN_CONSOLE_TWIN
constexpr ProgramKind kProgramKind = ProgramKind::ConsoleTwin;
#else
constexpr ProgramKind kProgramKind = ProgramKind::Program;
#endif

// Windows passes the command line as UTF-16 (the executable is linked with -municode).
int wmain(int argc, wchar_t** argv)
{
    std::vector<std::string> arguments;
    for (int i = 1; i < argc; ++i)
        arguments.push_back(ToUtf8(argv[i]));
    return ArkevenMain(arguments, kProgramKind);
}
