#include "platform/StickTools.h"

#include <windows.h>

namespace platform {

std::vector<std::string> MissingStickTools()
{
    return {};
}

// The command interpreter completes a name without an extension in this order (PATHEXT's
// default start).
std::wstring FindInstallerProgram(const std::wstring& program)
{
    for (const wchar_t* extension : { L".com", L".exe", L".bat", L".cmd" }) {
        std::wstring file = program + extension;
        DWORD attributes = ::GetFileAttributesW(file.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY))
            return file;
    }
    return {};
}

} // namespace platform
