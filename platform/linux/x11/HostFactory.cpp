#include "platform/host/HeadlessHost.h"
#include "platform/linux/x11/X11HostFactory.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace platform {

std::unique_ptr<Host> CreateHostFromEnvironment()
{
    const char* choice = std::getenv("ARKEVEN_HOST");
    const char* display = std::getenv("DISPLAY");
    bool wantX11 = choice ? std::strcmp(choice, "x11") == 0 : (display && *display);
    if (choice && std::strcmp(choice, "headless") != 0 && std::strcmp(choice, "x11") != 0)
        std::fprintf(stderr, "arkeven: unknown ARKEVEN_HOST '%s', using headless\n", choice);
    if (!wantX11)
        return std::make_unique<HeadlessHost>();
    return linux::x11::CreateX11Host();
}

} // namespace platform
