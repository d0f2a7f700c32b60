#include "platform/Process.h"

#include "platform/files/Utf8.h"
#include "platform/win32/ComApartment.h"
#include "platform/win32/DesktopShell.h"
#include "platform/win32/UniqueHandle.h"

#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <cwchar>
#include <vector>

namespace platform {

namespace {

// Lines redrawn in place need the console's control sequences. Consoles before Windows 10 refuse
// the mode; the lines then follow one another.
void UseControlSequences()
{
    HANDLE output = ::GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD mode = 0;
    if (::GetConsoleMode(output, &mode))
        ::SetConsoleMode(output, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING);
}

// A process started by an administrator's elevation carries the full administrator token, and so
// would every program it starts.
bool IsElevated()
{
    HANDLE token = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token))
        return false;
    win32::UniqueHandle ownedToken(token);
    TOKEN_ELEVATION elevation {};
    DWORD size = 0;
    return ::GetTokenInformation(token, TokenElevation, &elevation, sizeof elevation, &size) && elevation.TokenIsElevated;
}

// The console twin starts Arkeven.exe beside it, which asks for its own rights whoever starts it.
bool IsProgramBesideThisOne(const std::wstring& path)
{
    std::wstring module = GetModuleFileNameW();
    std::wstring beside = module.substr(0, module.find_last_of(L'\\') + 1) + L"Arkeven.exe";
    return _wcsicmp(path.c_str(), beside.c_str()) == 0;
}

} // namespace

std::wstring GetModuleFileNameW()
{
    // Long paths (\\?\...) may exceed MAX_PATH; grow until the name fits.
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        DWORD length = ::GetModuleFileNameW(::GetModuleHandleW(nullptr), buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0)
            return {};
        if (length < buffer.size())
            return std::wstring(buffer.data(), length);
        if (buffer.size() >= 32768)
            return {};
        buffer.resize(buffer.size() * 2);
    }
}

void PrepareProcess()
{
    // Libraries by name come from the system folder only, never from the program's folder, which
    // may be a copy of the CD in Downloads beside anything. Windows 7 has the call only with
    // update KB2533623, hence looked up.
    using SetDefaultDllDirectoriesFunction = BOOL(WINAPI*)(DWORD);
    auto setDefaultDllDirectories = reinterpret_cast<SetDefaultDllDirectoriesFunction>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "SetDefaultDllDirectories")));
    if (setDefaultDllDirectories)
        setDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
    // Probing drives without a medium (a card reader's empty slots) must not raise "There is no
    // disk in the drive" boxes: the calls fail and say so instead.
    ::SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    // The console twin writes to the console it was started in, which is its own.
    UseControlSequences();
}

// The desktop's shell opens the file as the desktop's user; the program's own call, which passes
// on its token, is left for when there is no shell to ask. Elevated, that token is the
// administrator's: nothing (a PDF reader, a browser, a configured program) is started with it but
// the program's own Arkeven.exe.
void ShellExecuteW(const std::wstring& path)
{
    win32::ComApartment apartment;
    if (win32::DesktopShell::Open(path))
        return;
    if (IsElevated() && !IsProgramBesideThisOne(path)) {
        std::fprintf(stderr, "%s is not opened: the desktop's shell can't open it as your user, and opened "
            "from here it would run with administrator rights\n", ToUtf8(path).c_str());
        return;
    }
    ::ShellExecuteW(nullptr, L"open", path.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

// Membership of Administrators counts only where it is enabled: a filtered token (UAC, an
// administrator's prompt that was not elevated) carries the group for denying only.
bool CanOpenVolumesForWriting()
{
    SID_IDENTIFIER_AUTHORITY authority = SECURITY_NT_AUTHORITY;
    PSID administrators = nullptr;
    if (!::AllocateAndInitializeSid(&authority, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0,
            &administrators))
        return false;
    BOOL member = FALSE;
    if (!::CheckTokenMembership(nullptr, administrators, &member))
        member = FALSE;
    ::FreeSid(administrators);
    return member != FALSE;
}

// The manifest asks for the rights before the program starts.
void UseParentConsole()
{
    if (!::AttachConsole(ATTACH_PARENT_PROCESS))
        return;
    std::freopen("CONOUT$", "w", stdout);
    std::freopen("CONOUT$", "w", stderr);
    std::freopen("CONIN$", "r", stdin);
    UseControlSequences();
}

bool OutputIsTerminal()
{
    DWORD mode = 0;
    return ::GetConsoleMode(::GetStdHandle(STD_OUTPUT_HANDLE), &mode) && (mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING);
}

bool InputIsTerminal()
{
    DWORD mode = 0;
    return ::GetConsoleMode(::GetStdHandle(STD_INPUT_HANDLE), &mode);
}

namespace {
std::atomic<bool>* s_stopOnInterrupt = nullptr;
} // namespace

void StopOnInterrupt(std::atomic<bool>& stop)
{
    s_stopOnInterrupt = &stop;
    ::SetConsoleCtrlHandler([](DWORD) -> BOOL {
        s_stopOnInterrupt->store(true);
        return TRUE;
    }, TRUE);
}

void ConsoleWrite(const std::string& text)
{
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
}

} // namespace platform
