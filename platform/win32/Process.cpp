#include "platform/Process.h"

#include "platform/Utf8.h"

#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <cwchar>
#include <process.h>
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

void ShellExecuteW(const std::wstring& path)
{
    ::ShellExecuteW(nullptr, L"open", path.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
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

int RunCommandLine(const std::wstring& commandLine)
{
    // The command interpreter runs the line as typed, "D:\syslinux\syslinux -fma E:" included.
    std::fflush(stdout);
    return ::_wsystem(commandLine.c_str());
}

void ConsoleWrite(const std::string& text)
{
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
}

} // namespace platform
