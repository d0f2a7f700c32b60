#include "platform/Process.h"

#include "platform/files/Utf8.h"
#include "platform/win32/ComApartment.h"
#include "platform/win32/CommandInterpreter.h"
#include "platform/win32/DesktopShell.h"
#include "platform/win32/UniqueHandle.h"

#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <cwchar>
#include <vector>

namespace platform {

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

std::uint16_t GetSystemDefaultLangID()
{
    return ::GetSystemDefaultLangID();
}

// "ll_TT.codeset@modifier" through the system's own locale names ("ll-TT"). A known language
// in an unknown territory gets its default sublanguage; anything else is US English.
std::uint16_t LangIdFromLocaleName(const std::string& locale)
{
    constexpr std::uint16_t kEnglishUnitedStates = 0x0409;
    std::string name = locale.substr(0, locale.find_first_of(".@"));
    for (char& c : name) {
        if (c == '_')
            c = '-';
    }
    if (name.empty() || name == "C" || name == "POSIX")
        return kEnglishUnitedStates;
    auto lookUp = [](const std::string& localeName) -> LANGID {
        LCID lcid = ::LocaleNameToLCID(FromUtf8(localeName).c_str(), 0);
        return lcid == 0 ? 0 : LANGIDFROMLCID(lcid);
    };
    LANGID langId = lookUp(name);
    if (langId != 0 && SUBLANGID(langId) != SUBLANG_NEUTRAL)
        return langId;
    LANGID language = lookUp(name.substr(0, name.find('-')));
    if (language == 0)
        return kEnglishUnitedStates;
    return MAKELANGID(PRIMARYLANGID(language), SUBLANG_DEFAULT);
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
}

// The desktop's shell opens the file as the desktop's user; the program's own call, which passes
// on its administrator rights, is left for when there is no shell to ask.
void ShellExecuteW(const std::wstring& path)
{
    win32::ComApartment apartment;
    if (win32::DesktopShell::Open(path))
        return;
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
std::optional<int> RunWithAdministratorRights(const std::vector<std::string>&)
{
    return std::nullopt;
}

bool AdoptSettingsOfFirstRun(std::vector<std::string>&)
{
    return false;
}

void UseParentConsole()
{
    if (!::AttachConsole(ATTACH_PARENT_PROCESS))
        return;
    std::freopen("CONOUT$", "w", stdout);
    std::freopen("CONOUT$", "w", stderr);
    std::freopen("CONIN$", "r", stdin);
    // Lines redrawn in place need the console's control sequences.
    HANDLE output = ::GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD mode = 0;
    if (::GetConsoleMode(output, &mode))
        ::SetConsoleMode(output, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING);
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

// The system's command interpreter runs the line as typed, "D:\syslinux\syslinux -fma E:"
// included, without a console window of its own, which the user could close and so kill it.
int RunCommandLine(const std::wstring& commandLine)
{
    wchar_t folder[MAX_PATH] = {};
    UINT length = ::GetSystemDirectoryW(folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return -1;
    std::wstring interpreter = std::wstring(folder, length) + L"\\cmd.exe";
    // /d: no AutoRun commands from the registry; /s /c: the line between the outer quotes as it is.
    std::wstring line = L"\"" + interpreter + L"\" /d /s /c \"" + commandLine + L"\"";
    STARTUPINFOW startup {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started {};
    std::fflush(stdout);
    if (!::CreateProcessW(interpreter.c_str(), line.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr,
            &startup, &started))
        return -1;
    win32::UniqueHandle process(started.hProcess);
    win32::UniqueHandle thread(started.hThread);
    DWORD status = 0;
    if (::WaitForSingleObject(process.Get(), INFINITE) != WAIT_OBJECT_0 || !::GetExitCodeProcess(process.Get(), &status))
        return -1;
    return static_cast<int>(status);
}

void ConsoleWrite(const std::string& text)
{
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
}

} // namespace platform
