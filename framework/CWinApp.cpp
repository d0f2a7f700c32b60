#include "framework/CWinApp.h"

#include "framework/CWnd.h"
#include "framework/Messages.h"

#include <cstdio>

namespace {
CWinApp* g_app = nullptr;
std::atomic<platform::Host*> g_wakeTarget { nullptr };
}

CWinApp::CWinApp(const wchar_t* appName)
    : m_uiThread(std::this_thread::get_id())
    , m_queue([] {
        if (auto* host = g_wakeTarget.load())
            host->Wake();
    })
{
    if (appName)
        m_pszAppName = appName;
    g_app = this;
}

CWinApp::~CWinApp()
{
    m_deviceEvents.reset();
    m_queue.Shutdown();
    for (CWnd* window : CWnd::TopLevelWindows())
        window->DestroyWindow();
    g_wakeTarget = nullptr;
    if (g_app == this)
        g_app = nullptr;
}

void CWinApp::AttachHost(std::unique_ptr<platform::Host> host)
{
    m_host = std::move(host);
    m_uiThread = std::this_thread::get_id();
    g_wakeTarget = m_host.get();
}

platform::Host& CWinApp::GetHost()
{
    if (!m_host)
        AttachHost(platform::CreateHostFromEnvironment());
    return *m_host;
}

int CWinApp::Run()
{
    PumpUntil([] { return false; });
    return ExitInstance();
}

bool CWinApp::PreTranslateMessage(MSG&)
{
    return false;
}

LRESULT CWinApp::Deliver(const MSG& msg)
{
    CWnd* window = CWnd::FromHandle(msg.hwnd);
    if (!window)
        return 0;
    return window->SendMessage(msg.message, msg.wParam, msg.lParam);
}

void CWinApp::StartDeviceNotifications()
{
    if (m_deviceEvents)
        return;
    m_deviceEvents = platform::WatchDeviceEvents([this](std::uint32_t event) {
        m_queue.PostTask([event] {
            std::vector<WindowHandle> handles;
            for (CWnd* window : CWnd::TopLevelWindows())
                handles.push_back(window->GetSafeHwnd());
            for (WindowHandle handle : handles) {
                if (CWnd* window = CWnd::FromHandle(handle))
                    window->SendMessage(WM_DEVICECHANGE, event, 0);
            }
        });
    });
}

bool CWinApp::PumpPending()
{
    if (m_queue.DispatchOne([this](const MSG& msg) { return Deliver(msg); }))
        return true;
    if (GetHost().DispatchPendingInput())
        return true;
    CWnd::PaintAllInvalid();
    return false;
}

void CWinApp::PumpUntil(const std::function<bool()>& done)
{
    platform::Host& host = GetHost();
    while (!m_quitRequested && !done()) {
        if (PumpPending())
            continue;
        if (m_quitRequested || done())
            break;
        host.WaitForInput(-1);
    }
}

void CWinApp::PostQuitMessage(int exitCode)
{
    m_exitCode = exitCode;
    m_quitRequested = true;
    if (auto* host = g_wakeTarget.load())
        host->Wake();
}

void CWinApp::RunOnUiThread(std::function<void()> task)
{
    if (IsUiThread()) {
        task();
        return;
    }
    m_queue.RunAndWait(std::move(task));
}

void CWinApp::SetKeyDown(UINT key, bool down)
{
    if (key < 256)
        m_keys[key] = down;
}

bool CWinApp::IsKeyDown(UINT key) const
{
    return key < 256 && m_keys[key];
}

CWinApp* AfxGetApp()
{
    return g_app;
}

CWnd* AfxGetMainWnd()
{
    return g_app ? g_app->m_pMainWnd : nullptr;
}

int AfxWinMain()
{
    CWinApp* app = AfxGetApp();
    if (!app)
        return 1;
    if (!app->HasHost()) {
        auto host = platform::CreateHostFromEnvironment();
        if (!host) {
            std::fprintf(stderr, "arkeven: no display could be opened (set ARKEVEN_HOST=headless to run without one)\n");
            return 1;
        }
        app->AttachHost(std::move(host));
    }
    if (!app->InitInstance())
        return app->ExitInstance();
    return app->Run();
}

short GetKeyState(int virtualKey)
{
    CWinApp* app = AfxGetApp();
    if (!app || virtualKey < 0)
        return 0;
    return app->IsKeyDown(static_cast<UINT>(virtualKey)) ? static_cast<short>(0x8000) : 0;
}

int GetSystemMetrics(int index)
{
    CWinApp* app = AfxGetApp();
    if (!app)
        return 0;
    switch (index) {
    case SM_CXFULLSCREEN:
        return app->GetHost().ScreenWidth();
    case SM_CYFULLSCREEN:
        return app->GetHost().ScreenHeight();
    default:
        return 0;
    }
}

void PostQuitMessage(int exitCode)
{
    if (CWinApp* app = AfxGetApp())
        app->PostQuitMessage(exitCode);
}
