#pragma once

#include "platform/Host.h"
#include "platform/HostAccessibility.h"
#include "platform/host/HeadlessScript.h"
#include "platform/host/HostLog.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace platform {

// A host without an OS window: tests inject input and read back what each window presented.
// Its screen is 1280x800 at scale 1 unless told otherwise, and as much bigger as the scale
// (ARKEVEN_SCALE, or SetWindowScale), like a screen of higher density.
// The Host interface runs on the UI thread; the inspection and injection calls below are safe
// from any thread.
class HeadlessHost final : public Host {
public:
    struct WindowState {
        int id = 0;
        std::string instanceName;
        std::wstring caption;
        HostRect rect;
        ShowState state = ShowState::Hidden;
        bool alive = true;
        int presentCount = 0;
        int raiseCount = 0;
        bool hasOwner = false;
    };

    HeadlessHost(int screenWidth = 1280, int screenHeight = 800);
    ~HeadlessHost() override;

    const char* Name() const override { return "headless"; }
    std::unique_ptr<HostWindow> CreateHostWindow(const HostWindowSpec& spec, HostWindowListener& listener) override;
    bool DispatchPendingInput() override;
    void WaitForInput(int timeoutMs) override;
    void Wake() override;
    double WindowScale() const override;
    int ScreenWidth() const override;
    int ScreenHeight() const override;

    void SetWindowScale(double scale);
    // Whether a screen reader listens (the tests read the trees; by default it does). One that
    // comes later is told to the windows as the real hosts do (AccessibilityRequested).
    void SetReaderListens(bool listens) { m_readerListens = listens; }
    // Tells the newest live window of this name that it now lies on a screen of `scale`, as
    // moving it to another monitor would; false when there is no such window.
    bool ChangeScale(const std::string& instanceName, double scale);

    std::vector<WindowState> Windows() const;
    // The newest live window with this instance name.
    std::optional<WindowState> Find(const std::string& instanceName) const;
    // Queues input for the newest live window with this instance name; false when none.
    bool Inject(const std::string& instanceName, const HostInput& input);
    bool Click(const std::string& instanceName, int x, int y);
    bool PressKey(const std::string& instanceName, std::uint32_t key, bool ctrl = false, bool alt = false, bool shift = false);
    // Restores a minimised window as the taskbar would, telling its listener; false when the
    // newest window of this name is not minimised.
    bool Restore(const std::string& instanceName);
    // The window's pixels as last presented.
    bool CopyFrame(const std::string& instanceName, std::vector<std::uint32_t>& pixels, int& width, int& height) const;
    bool SavePng(const std::string& instanceName, const std::string& path) const;
    // The accessibility events the newest window of this name raised since the last call.
    std::vector<AccessibleEvent> TakeAccessibleEvents(const std::string& instanceName);
    // Every request the windows received, in the HostLog line format.
    std::vector<std::string> Requests() const;

private:
    class Window;
    friend class Window;

    struct WindowRecord {
        WindowState state;
        HostWindowListener* listener = nullptr;
        std::vector<std::uint32_t> pixels;
        double scale = 1.0;
        std::vector<AccessibleEvent> accessibleEvents;
    };

    WindowRecord* FindRecord(const std::string& instanceName);
    const WindowRecord* FindRecord(const std::string& instanceName) const;
    // With m_mutex held.
    void QueueInput(const WindowRecord& record, const HostInput& input);
    void Record(const char* verb, const std::string& instanceName, const std::string& argument = {});

    int m_screenWidth;
    int m_screenHeight;
    std::atomic<double> m_scale { 1.0 };
    std::atomic<bool> m_readerListens { true };
    mutable std::mutex m_mutex;
    std::condition_variable m_wakeup;
    bool m_woken = false;
    int m_nextId = 1;
    std::map<int, WindowRecord> m_windows;
    std::deque<std::pair<int, HostInput>> m_input;
    std::vector<std::string> m_requests;
    HostLog m_log;
    bool m_exitOnFirstPresent = false;
    // Last member: its thread drives the windows above and stops first.
    std::unique_ptr<HeadlessScript> m_script;
};

} // namespace platform
