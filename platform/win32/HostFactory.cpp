#include "platform/host/HeadlessHost.h"
#include "platform/win32/Win32Host.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace platform {

// ARKEVEN_HOST=headless gives the headless host; anything else the Win32 one.
std::unique_ptr<Host> CreateHostFromEnvironment()
{
    const char* choice = std::getenv("ARKEVEN_HOST");
    if (choice && std::strcmp(choice, "headless") == 0)
        return std::make_unique<HeadlessHost>();
    if (choice && std::strcmp(choice, "win32") != 0)
        std::fprintf(stderr, "arkeven: ARKEVEN_HOST '%s' is not available on Windows, using win32\n", choice);
    auto host = win32::Win32Host::Open();
    if (!host)
        return std::make_unique<HeadlessHost>();
    return host;
}

} // namespace platform
