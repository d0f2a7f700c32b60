#include "platform/win32/DeviceEventWindow.h"

#include "platform/win32/UniqueHandle.h"

#include <dbt.h>

namespace platform::win32 {

namespace {

constexpr wchar_t kClassName[] = L"ArkevenDeviceEvents";

ATOM RegisterWindowClass()
{
    static ATOM atom = [] {
        WNDCLASSEXW windowClass {};
        windowClass.cbSize = sizeof windowClass;
        windowClass.lpfnWndProc = DefWindowProcW;
        windowClass.hInstance = ::GetModuleHandleW(nullptr);
        windowClass.lpszClassName = kClassName;
        return ::RegisterClassExW(&windowClass);
    }();
    return atom;
}

} // namespace

static_assert(DBT_DEVICEARRIVAL == kDeviceArrival && DBT_DEVICEREMOVECOMPLETE == kDeviceRemoveComplete);

DeviceEventWindow::DeviceEventWindow(std::function<void(std::uint32_t event)> onEvent)
    : m_onEvent(std::move(onEvent))
{
    if (!RegisterWindowClass())
        return;
    UniqueHandle ready(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!ready)
        return;
    m_thread = std::thread([this, readyEvent = ready.Get()] { Run(readyEvent); });
    ::WaitForSingleObject(ready.Get(), INFINITE);
    if (!m_window)
        m_thread.join();
}

DeviceEventWindow::~DeviceEventWindow()
{
    if (!m_thread.joinable())
        return;
    ::PostMessageW(m_window, WM_CLOSE, 0, 0);
    m_thread.join();
}

void DeviceEventWindow::Run(HANDLE ready)
{
    HWND window = ::CreateWindowExW(0, kClassName, L"", WS_OVERLAPPED, 0, 0, 0, 0, nullptr, nullptr,
        ::GetModuleHandleW(nullptr), nullptr);
    if (window) {
        ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
        ::SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&DeviceEventWindow::WindowProc));
    }
    m_window = window;
    ::SetEvent(ready);
    if (!window)
        return;
    MSG message;
    while (::GetMessageW(&message, nullptr, 0, 0) > 0)
        ::DispatchMessageW(&message);
}

LRESULT CALLBACK DeviceEventWindow::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto* self = reinterpret_cast<DeviceEventWindow*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    switch (message) {
    case WM_DEVICECHANGE:
        if (self && (wParam == DBT_DEVICEARRIVAL || wParam == DBT_DEVICEREMOVECOMPLETE))
            self->m_onEvent(static_cast<std::uint32_t>(wParam));
        return TRUE;
    case WM_CLOSE:
        ::DestroyWindow(window);
        return 0;
    case WM_DESTROY:
        ::PostQuitMessage(0);
        return 0;
    default:
        return ::DefWindowProcW(window, message, wParam, lParam);
    }
}

} // namespace platform::win32
