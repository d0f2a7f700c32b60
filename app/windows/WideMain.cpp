#include "app/ProgramEntry.h"
#include "platform/Utf8.h"

// Windows passes the command line as UTF-16 (the executable is linked with -municode).
int wmain(int argc, wchar_t** argv)
{
    std::vector<std::string> arguments;
    for (int i = 1; i < argc; ++i)
        arguments.push_back(ToUtf8(argv[i]));
    return ArkevenMain(arguments);
}
