#pragma once

#include "framework/CMessageQueue.h"
#include "framework/Types.h"
#include "platform/Drives.h"
#include "platform/Host.h"

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>

class CWnd;

// The application object: instance start-up and exit around the message loop, and the
// machinery every window uses (the host, the UI thread's queue, the keyboard state).
// One exists at a time; it registers itself on construction.
class CWinApp {
public:
    explicit CWinApp(const wchar_t* appName = nullptr);
    virtual ~CWinApp();
    CWinApp(const CWinApp&) = delete;
    CWinApp& operator=(const CWinApp&) = delete;

    virtual bool InitInstance() { return true; }
    virtual int ExitInstance() { return m_exitCode; }
    // Runs the message loop until the quit request; returns ExitInstance().
    virtual int Run();
    virtual bool PreTranslateMessage(MSG& msg);

    // Makes this thread the UI thread and the host the one that shows windows. Without a call,
    // the first use takes the host from the environment (ARKEVEN_HOST, DISPLAY).
    void AttachHost(std::unique_ptr<platform::Host> host);
    platform::Host& GetHost();
    bool HasHost() const { return m_host != nullptr; }
    bool IsUiThread() const { return std::this_thread::get_id() == m_uiThread; }

    // Serves the queue and the host until done() holds or the quit request; every modal loop
    // runs through here.
    void PumpUntil(const std::function<bool()>& done);
    // Serves whatever is pending without blocking; returns whether anything ran.
    bool PumpPending();
    void PostQuitMessage(int exitCode);
    bool IsQuitRequested() const { return m_quitRequested; }

    CMessageQueue& Queue() { return m_queue; }
    // From any thread: runs the task on the UI thread and waits for it.
    void RunOnUiThread(std::function<void()> task);

    // Keyboard state as the host reported it.
    void SetKeyDown(UINT key, bool down);
    bool IsKeyDown(UINT key) const;

    void SetRegistryKey(const wchar_t* key) { m_registryKey = key; }

    // Delivers device arrival and removal to every top-level window as WM_DEVICECHANGE, on the
    // UI thread, until the application object goes.
    void StartDeviceNotifications();

    CWnd* m_pMainWnd = nullptr;
    std::wstring m_pszAppName;

protected:
    int m_exitCode = 0;

private:
    LRESULT Deliver(const MSG& msg);

    std::unique_ptr<platform::Host> m_host;
    std::unique_ptr<platform::DeviceEventSource> m_deviceEvents;
    std::thread::id m_uiThread;
    CMessageQueue m_queue;
    std::atomic<bool> m_quitRequested { false };
    bool m_keys[256] = {};
    std::wstring m_registryKey;
};

CWinApp* AfxGetApp();
CWnd* AfxGetMainWnd();
// The framework's entry: InitInstance, Run, ExitInstance of the registered application.
int AfxWinMain();

// Negative while the key is down, as the Win32 call reports it.
short GetKeyState(int virtualKey);
int GetSystemMetrics(int index);
void PostQuitMessage(int exitCode);
