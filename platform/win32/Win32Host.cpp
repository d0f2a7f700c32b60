#include "platform/win32/Win32Host.h"

#include "platform/host/DisplayScale.h"
#include "platform/win32/Win32Dpi.h"
#include "platform/win32/Win32Window.h"

namespace platform::win32 {

namespace {

// The application icon in the executable's resources (resources/windows/Arkeven.rc).
constexpr WORD kApplicationIconId = 128;

} // namespace

std::unique_ptr<Win32Host> Win32Host::Open()
{
    HINSTANCE instance = ::GetModuleHandleW(nullptr);
    WNDCLASSEXW windowClass {};
    windowClass.cbSize = sizeof windowClass;
    windowClass.style = CS_DBLCLKS;
    windowClass.lpfnWndProc = &Win32Host::WindowProc;
    windowClass.hInstance = instance;
    windowClass.hIcon = ::LoadIconW(instance, MAKEINTRESOURCEW(kApplicationIconId));
    windowClass.hCursor = ::LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    windowClass.lpszClassName = ClassName();
    ATOM atom = ::RegisterClassExW(&windowClass);
    if (!atom && ::GetLastError() != ERROR_CLASS_ALREADY_EXISTS)
        return nullptr;
    UniqueHandle wake(::CreateEventW(nullptr, FALSE, FALSE, nullptr));
    if (!wake)
        return nullptr;
    return std::make_unique<Win32Host>(atom, std::move(wake));
}

Win32Host::Win32Host(ATOM windowClass, UniqueHandle wakeEvent)
    : m_windowClass(windowClass)
    , m_wakeEvent(std::move(wakeEvent))
    , m_log(HostLog::FromEnvironment())
    , m_fixedScale(ScaleFromEnvironment())
{
}

Win32Host::~Win32Host()
{
    if (m_windowClass)
        ::UnregisterClassW(ClassName(), ::GetModuleHandleW(nullptr));
}

std::unique_ptr<HostWindow> Win32Host::CreateHostWindow(const HostWindowSpec& spec, HostWindowListener& listener)
{
    return std::make_unique<Win32Window>(*this, spec, listener);
}

void Win32Host::EnsureComApartment()
{
    if (!m_apartment)
        m_apartment = std::make_unique<ComApartment>();
}

void Win32Host::RegisterWindow(HWND window, Win32Window& hostWindow)
{
    m_windows[window] = &hostWindow;
}

void Win32Host::UnregisterWindow(HWND window)
{
    m_windows.erase(window);
    // Input that the window never saw goes with it.
    for (auto it = m_input.begin(); it != m_input.end();)
        it = it->first == window ? m_input.erase(it) : std::next(it);
}

void Win32Host::QueueInput(HWND window, const HostInput& input)
{
    m_input.emplace_back(window, input);
}

bool Win32Host::DispatchPendingInput()
{
    MSG message;
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        // No TranslateMessage: the framework wants virtual keys, not characters.
        ::DispatchMessageW(&message);
    }
    bool delivered = false;
    while (!m_input.empty()) {
        // Taken off the queue before delivery: a listener may run a nested loop that comes
        // back here, or destroy windows.
        auto [window, input] = m_input.front();
        m_input.pop_front();
        auto it = m_windows.find(window);
        if (it == m_windows.end())
            continue;
        it->second->Listener().OnHostInput(input);
        delivered = true;
    }
    return delivered;
}

void Win32Host::WaitForInput(int timeoutMs)
{
    if (!m_input.empty())
        return;
    HANDLE wake = m_wakeEvent.Get();
    DWORD timeout = timeoutMs < 0 ? INFINITE : static_cast<DWORD>(timeoutMs);
    // MWMO_INPUTAVAILABLE: messages already seen by an earlier peek still end the wait.
    ::MsgWaitForMultipleObjectsEx(1, &wake, timeout, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
}

void Win32Host::Wake()
{
    ::SetEvent(m_wakeEvent.Get());
}

double Win32Host::WindowScale() const
{
    return m_fixedScale ? *m_fixedScale : ScaleFromDpi(Win32Dpi::System());
}

int Win32Host::ScreenWidth() const
{
    return ::GetSystemMetrics(SM_CXFULLSCREEN);
}

int Win32Host::ScreenHeight() const
{
    return ::GetSystemMetrics(SM_CYFULLSCREEN);
}

LRESULT CALLBACK Win32Host::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
        ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* hostWindow = reinterpret_cast<Win32Window*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    LRESULT result = 0;
    if (hostWindow && hostWindow->HandleMessage(message, wParam, lParam, result))
        return result;
    return ::DefWindowProcW(window, message, wParam, lParam);
}

} // namespace platform::win32
