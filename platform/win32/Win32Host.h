#pragma once

#include "platform/Host.h"
#include "platform/host/HostLog.h"
#include "platform/win32/ComApartment.h"
#include "platform/win32/UniqueHandle.h"

#include <windows.h>

#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <utility>

namespace platform::win32 {

class Win32Window;

// The Win32 host: one top-level HWND (class "ArkevenWindow") per HostWindow, all owned by the UI
// thread. The window procedure only queues input; DispatchPendingInput hands it to the
// listeners, so the framework never sees input re-entrantly from inside a Show or a Move.
// Painting (WM_PAINT) is answered from each window's kept frame without the listeners.
//
// With ARKEVEN_HOST_LOG=<file> the windows append the same request lines as the other hosts.
class Win32Host final : public Host {
public:
    // nullptr when the window class cannot be registered or the wake event made.
    static std::unique_ptr<Win32Host> Open();
    Win32Host(ATOM windowClass, UniqueHandle wakeEvent);
    ~Win32Host() override;

    const char* Name() const override { return "win32"; }
    std::unique_ptr<HostWindow> CreateHostWindow(const HostWindowSpec& spec, HostWindowListener& listener) override;
    bool DispatchPendingInput() override;
    void WaitForInput(int timeoutMs) override;
    void Wake() override;
    // ARKEVEN_SCALE, else the system DPI (the manifest makes the program per-monitor aware, so
    // each window then follows its own screen's DPI).
    double WindowScale() const override;
    int ScreenWidth() const override;
    int ScreenHeight() const override;
    // ARKEVEN_SCALE holds every window at its scale, whatever screen it lies on.
    bool HasFixedScale() const { return m_fixedScale.has_value(); }

    // For the windows of this host.
    static const wchar_t* ClassName() { return L"ArkevenWindow"; }
    HostLog& Log() { return m_log; }
    void RegisterWindow(HWND window, Win32Window& hostWindow);
    void UnregisterWindow(HWND window);
    void QueueInput(HWND window, const HostInput& input);
    // COM on the UI thread, set up when a screen reader first asks for a window's object.
    void EnsureComApartment();

private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    ATOM m_windowClass;
    UniqueHandle m_wakeEvent;
    HostLog m_log;
    std::optional<double> m_fixedScale;
    std::map<HWND, Win32Window*> m_windows;
    std::deque<std::pair<HWND, HostInput>> m_input;
    std::unique_ptr<ComApartment> m_apartment;
};

} // namespace platform::win32
