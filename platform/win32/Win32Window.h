#pragma once

#include "platform/Host.h"

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace platform::win32 {

class Win32Host;

// One top-level window of fixed size: a caption, a system menu and a minimise box around a
// client area of exactly the requested size, which shows the kept frame.
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

    HWND Handle() const { return m_window; }
    HostWindowListener& Listener() { return m_listener; }
    // The window procedure's share: returns true when the message was handled.
    bool HandleMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);

private:
    static constexpr DWORD kStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
    static constexpr DWORD kExtendedStyle = 0;

    SIZE OuterSize(int clientWidth, int clientHeight) const;
    void PaintFromBacking(HDC dc, const RECT& area);
    void Queue(const HostInput& input);
    HostInput PointerInput(HostInput::Kind kind, LPARAM lParam) const;

    Win32Host& m_host;
    HostWindowListener& m_listener;
    std::string m_instanceName;
    HostRect m_rect;
    HWND m_window = nullptr;
    std::vector<std::uint32_t> m_backing; // m_rect.width x m_rect.height, 0xAARRGGBB
    bool m_trackingLeave = false;
};

} // namespace platform::win32
