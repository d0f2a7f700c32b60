#pragma once

#include "platform/Drives.h"

#include <windows.h>

#include <functional>
#include <thread>

namespace platform::win32 {

// Receives WM_DEVICECHANGE on a thread of its own and reports arrivals and removals.
//
// The window is a hidden top-level window, not a message-only one: the system broadcasts
// volume arrival and removal to top-level windows only, and message-only windows get no
// broadcasts.
class DeviceEventWindow final : public DeviceEventSource {
public:
    explicit DeviceEventWindow(std::function<void(std::uint32_t event)> onEvent);
    ~DeviceEventWindow() override;
    DeviceEventWindow(const DeviceEventWindow&) = delete;
    DeviceEventWindow& operator=(const DeviceEventWindow&) = delete;

    bool IsListening() const { return m_window != nullptr; }

private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void Run(HANDLE ready);

    std::function<void(std::uint32_t)> m_onEvent;
    HWND m_window = nullptr;
    std::thread m_thread;
};

} // namespace platform::win32
