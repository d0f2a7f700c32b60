// Programs started and waited for: the boot-loader installer, a file itself or through the
// command interpreter.
#include "platform/win32/CommandInterpreter.h"

#include "platform/win32/UniqueHandle.h"

#include <windows.h>

#include <cstdio>
#include <vector>

namespace platform {

namespace {

// Whether a console is attached (the console twin's own, or the one the program attached to),
// window or none.
bool HasConsole()
{
    DWORD processes[1] = {};
    return ::GetConsoleProcessList(processes, 1) != 0;
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

} // namespace platform
