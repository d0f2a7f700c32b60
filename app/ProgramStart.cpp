#include "app/ProgramStart.h"

#include "platform/Process.h"
#include "shared/Globals.h"
#include "uilib/CzTextLibrary.h"

#include <algorithm>
#include <cwchar>

void PrepareProgramFolders()
{
    std::wstring executable = platform::GetModuleFileNameW().substr(0, kPathBufferSize - 1);
    size_t lastBackslash = executable.rfind(L'\\');
    std::wstring appDir = lastBackslash == std::wstring::npos ? std::wstring() : executable.substr(0, lastBackslash + 1);
    std::fill(std::begin(g_szAppDir), std::end(g_szAppDir), L'\0');
    std::wcsncpy(g_szAppDir, appDir.c_str(), kPathBufferSize - 1);

    std::wstring textFolder = (std::wstring(g_szAppDir) + L"Localization").substr(0, kPathBufferSize - 1);
    z32InitZEZivu(textFolder, 0);
}
