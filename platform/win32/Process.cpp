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

// Whether a console is attached (the console twin's own, or the one the program attached to),
// window or none.
bool HasConsole()
{
    DWORD processes[1] = {};
    return ::GetConsoleProcessList(processes, 1) != 0;
}

// The console twin starts Arkeven.exe beside it, which asks for its own rights whoever starts it.
bool IsProgramBesideThisOne(const std::wstring& path)
{
    std::wstring module = GetModuleFileNameW();
    std::wstring beside = module.substr(0, module.find_last_of(L'\\') + 1) + L"Arkeven.exe";
    return _wcsicmp(path.c_str(), beside.c_str()) == 0;
}

// The program's standard handles for one child to share: duplicated as inheritable, and named in
// the child's attribute list, so the child inherits these three and no other handle of the
// program's (a volume of another job's stick, say).
class SharedStandardHandles {
public:
    SharedStandardHandles()
    {
        for (DWORD which : { STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE }) {
            HANDLE original = ::GetStdHandle(which);
            HANDLE duplicate = nullptr;
            if (original && original != INVALID_HANDLE_VALUE
                && ::DuplicateHandle(::GetCurrentProcess(), original, ::GetCurrentProcess(), &duplicate, 0, TRUE,
                    DUPLICATE_SAME_ACCESS))
                m_handles.emplace_back(duplicate);
            else
                m_handles.emplace_back();
        }
        for (auto& handle : m_handles) {
            if (handle)
                m_inherited.push_back(handle.Get());
        }
        SIZE_T size = 0;
        ::InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
        m_attributeStorage.resize(size);
        auto* attributes = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(m_attributeStorage.data());
        if (m_inherited.empty() || !::InitializeProcThreadAttributeList(attributes, 1, 0, &size))
            return;
        m_attributes = attributes;
        if (!::UpdateProcThreadAttribute(m_attributes, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, m_inherited.data(),
                m_inherited.size() * sizeof(HANDLE), nullptr, nullptr)) {
            ::DeleteProcThreadAttributeList(m_attributes);
            m_attributes = nullptr;
        }
    }
    ~SharedStandardHandles()
    {
        if (m_attributes)
            ::DeleteProcThreadAttributeList(m_attributes);
    }
    SharedStandardHandles(const SharedStandardHandles&) = delete;
    SharedStandardHandles& operator=(const SharedStandardHandles&) = delete;

    bool IsUsable() const { return m_attributes != nullptr; }

    void FillIn(STARTUPINFOEXW& startup) const
    {
        startup.StartupInfo.dwFlags |= STARTF_USESTDHANDLES;
        startup.StartupInfo.hStdInput = m_handles[0].Get();
        startup.StartupInfo.hStdOutput = m_handles[1].Get();
        startup.StartupInfo.hStdError = m_handles[2].Get();
        startup.lpAttributeList = m_attributes;
    }

private:
    std::vector<win32::UniqueHandle> m_handles;
    std::vector<HANDLE> m_inherited;
    std::vector<unsigned char> m_attributeStorage;
    LPPROC_THREAD_ATTRIBUTE_LIST m_attributes = nullptr;
};

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

namespace {

// Starts `program` with `commandLine` in the system folder (a current folder on the stick would
// hold the stick open) and waits for it; its exit status, -1 when it could not run. Its messages
// go where the program's own go: it gets the program's standard handles, and the program's
// console where there is one (the console twin's, or the one the program attached to). Without a
// console it gets no console window, which the user could close and so kill it.
int RunAndWait(const std::wstring& program, std::wstring commandLine, const std::wstring& systemFolder)
{
    // In a shared console Ctrl+C stops the program's jobs, each at its next step; the child, in
    // a process group of its own, has it disabled and finishes the boot record it is writing.
    DWORD consoleFlags = HasConsole() ? CREATE_NEW_PROCESS_GROUP : CREATE_NO_WINDOW;
    PROCESS_INFORMATION started {};
    std::fflush(stdout);
    std::fflush(stderr);
    SharedStandardHandles handles;
    bool running = false;
    if (handles.IsUsable()) {
        STARTUPINFOEXW startup {};
        startup.StartupInfo.cb = sizeof startup;
        handles.FillIn(startup);
        running = ::CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, TRUE,
            consoleFlags | EXTENDED_STARTUPINFO_PRESENT, nullptr, systemFolder.c_str(), &startup.StartupInfo, &started);
    }
    // Where the system refuses the handles (consoles before Windows 8 had handles of their own
    // kind), a child in the console still writes to it.
    if (!running) {
        STARTUPINFOW startup {};
        startup.cb = sizeof startup;
        running = ::CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, consoleFlags, nullptr,
            systemFolder.c_str(), &startup, &started);
    }
    if (!running)
        return -1;
    win32::UniqueHandle process(started.hProcess);
    win32::UniqueHandle thread(started.hThread);
    DWORD status = 0;
    if (::WaitForSingleObject(process.Get(), INFINITE) != WAIT_OBJECT_0 || !::GetExitCodeProcess(process.Get(), &status))
        return -1;
    return static_cast<int>(status);
}

std::wstring SystemFolder()
{
    wchar_t folder[MAX_PATH] = {};
    UINT length = ::GetSystemDirectoryW(folder, MAX_PATH);
    return length == 0 || length >= MAX_PATH ? std::wstring() : std::wstring(folder, length);
}

bool EndsWithIgnoringCase(const std::wstring& text, const wchar_t* ending)
{
    std::wstring tail(ending);
    if (text.size() < tail.size())
        return false;
    return ::CompareStringOrdinal(text.c_str() + text.size() - tail.size(), static_cast<int>(tail.size()), tail.c_str(),
               static_cast<int>(tail.size()), TRUE) == CSTR_EQUAL;
}

} // namespace

// The system's command interpreter runs the line as typed.
int RunCommandLine(const std::wstring& commandLine)
{
    std::wstring systemFolder = SystemFolder();
    if (systemFolder.empty())
        return -1;
    std::wstring interpreter = systemFolder + L"\\cmd.exe";
    // /d: no AutoRun commands from the registry; /s /c: the line between the outer quotes as it is.
    return RunAndWait(interpreter, L"\"" + interpreter + L"\" /d /s /c \"" + commandLine + L"\"", systemFolder);
}

// A program file is started itself, its path quoted whatever it holds (blanks, a long folder);
// a batch file only the command interpreter runs.
int RunProgram(const std::wstring& file, const std::wstring& arguments)
{
    std::wstring quoted = L"\"" + file + L"\" " + arguments;
    if (EndsWithIgnoringCase(file, L".bat") || EndsWithIgnoringCase(file, L".cmd"))
        return RunCommandLine(quoted);
    std::wstring systemFolder = SystemFolder();
    if (systemFolder.empty())
        return -1;
    return RunAndWait(file, quoted, systemFolder);
}

void ConsoleWrite(const std::string& text)
{
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
}

} // namespace platform
