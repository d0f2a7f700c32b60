#pragma once

#include "platform/Host.h"
#include "platform/HostAccessibility.h"

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace platform::win32 {

class Win32Host;
struct AccessibleWindowState;

// One top-level window of fixed size: a caption, a system menu and a minimise box around a
// client area of exactly the requested size, which shows the kept frame. Sizes are in the
// screen's pixels; the frame around the client area is drawn at the window's screen's DPI.
class Win32Window final : public HostWindow {
public:
    Win32Window(Win32Host& host, const HostWindowSpec& spec, HostWindowListener& listener);
    ~Win32Window() override;
    Win32Window(const Win32Window&) = delete;
    Win32Window& operator=(const Win32Window&) = delete;

    void SetCaption(const std::wstring& caption) override;
    void Move(int x, int y) override;
    void Resize(int width, int height) override;
    void Show(ShowState state) override;
    void Raise() override;
    void Present(const PixelView& frame, const HostRect& dirty) override;
    // Kept for the window's accessible object; each event raised with NotifyWinEvent.
    void PublishAccessibility(const AccessibleTree& tree, const std::vector<AccessibleEvent>& events) override;
    // While no WinEvent hook is installed and no client holds the window's object, nobody
    // reads the tree.
    bool WantsAccessibility() const override;

    HWND Handle() const { return m_window; }
    HostWindowListener& Listener() { return m_listener; }
    // The window procedure's share: returns true when the message was handled.
    bool HandleMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);

private:
    static constexpr DWORD kStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
    static constexpr DWORD kExtendedStyle = 0;

    SIZE OuterSize(int clientWidth, int clientHeight, UINT dpi) const;
    UINT Dpi() const;
    // Tells the listener when the window's screen has another scale than the frame was drawn at.
    void FollowScreenScale(UINT dpi, int x, int y);
    void OnDpiChanged(UINT dpi, const RECT& suggested);
    void PaintFromBacking(HDC dc, const RECT& area);
    void Queue(const HostInput& input);
    HostInput PointerInput(HostInput::Kind kind, LPARAM lParam) const;
    LRESULT AccessibleObject(WPARAM wParam);
    bool IsDialog() const;

    Win32Host& m_host;
    HostWindowListener& m_listener;
    std::string m_instanceName;
    HostRect m_rect;
    double m_scale = 1.0; // what the listener draws at
    HWND m_window = nullptr;
    std::vector<std::uint32_t> m_backing; // m_rect.width x m_rect.height, 0xAARRGGBB
    bool m_trackingLeave = false;
    std::shared_ptr<AccessibleWindowState> m_accessibility;
    bool m_dialogShown = false;
    bool m_clientObjectHandedOut = false;
};

} // namespace platform::win32
