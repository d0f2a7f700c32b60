#pragma once

#include <string>

namespace platform::win32 {

// Opens files through the desktop's own shell (Explorer), so what opens them runs as the desktop's
// user with that user's rights, never with the administrator rights of this program. The route is
// the documented one: the desktop's shell view hands out its IShellDispatch2, whose ShellExecute
// runs in the shell's process. The calling thread must have COM set up (ComApartment).
class DesktopShell {
public:
    // False when there is no desktop shell to ask (no Explorer, or it refused).
    static bool Open(const std::wstring& path);
};

} // namespace platform::win32
