#pragma once

#include "platform/Host.h"
#include "platform/host/HostLog.h"
#include "platform/linux/WakeEvent.h"
#include "platform/linux/x11/X11HostFactory.h"

#include <X11/Xlib.h>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace platform::linux::atspi {
class AtspiBridge;
}

namespace platform::linux::x11 {

class X11Window;

struct X11Atoms {
    Atom wmProtocols = None;
    Atom wmDeleteWindow = None;
    Atom wmChangeState = None;
    Atom utf8String = None;
    Atom netWmName = None;
    Atom netWmPid = None;
    Atom netWmPing = None;
    Atom netWmWindowType = None;
    Atom netWmWindowTypeNormal = None;
    Atom netWmWindowTypeDialog = None;
    Atom netWmState = None;
    Atom netWmStateHidden = None;
    Atom netActiveWindow = None;
    Atom netWorkarea = None;
    Atom netCurrentDesktop = None;
};

// How a 0xAARRGGBB pixel becomes a pixel of the screen's visual. Only 24- and 32-bit TrueColor
// with 8 bits per channel and 32 bits per pixel in images is supported; anything else is
// refused when the host opens, so the program falls back to another host.
struct X11PixelFormat {
    Visual* visual = nullptr;
    int depth = 0;
    int redShift = 16;
    int greenShift = 8;
    int blueShift = 0;

    bool IsNative() const { return redShift == 16 && greenShift == 8 && blueShift == 0; }
};

// The Xlib host: one top-level X window per HostWindow, driven from the UI thread only (so no
// XInitThreads); Wake() goes through an eventfd and never touches Xlib.
//
// Exposed windows are repainted from the last presented frame, which each window keeps, so the
// listeners never see HostInput::Kind::Exposed from this host.
//
// Diagnostics: with ARKEVEN_HOST_LOG=<file>, every window request appends one line
// "<verb> <instanceName>[ <arg>]", verbs create, caption, move, resize, show, raise, destroy
// (see HostLog.h), e.g. "raise MainFrm" or "show MainFrm minimised". The headless host writes
// the same lines, so system tests can check what the program asked of its host.
class X11Host final : public Host {
    struct DisplayCloser {
        void operator()(Display* display) const { XCloseDisplay(display); }
    };
    using DisplayPtr = std::unique_ptr<Display, DisplayCloser>;
    struct OpenKey {
        explicit OpenKey() = default;
    };

public:
    // nullptr when the display cannot be opened or its visual is not supported.
    static std::unique_ptr<X11Host> Open(const char* displayName = nullptr);
    ~X11Host() override;

    const char* Name() const override { return "x11"; }
    std::unique_ptr<HostWindow> CreateHostWindow(const HostWindowSpec& spec, HostWindowListener& listener) override;
    bool DispatchPendingInput() override;
    void WaitForInput(int timeoutMs) override;
    void Wake() override;
    // ARKEVEN_SCALE, else GDK_SCALE, else Xft.dpi of the root window's resources, else 1.
    double WindowScale() const override;
    int ScreenWidth() const override;
    int ScreenHeight() const override;

    // The Xft.dpi value of a resource string as xrdb leaves it ("Xft.dpi:\t192\n..."), if any.
    static std::optional<double> XftDpi(const std::string& resources);

    // For the windows of this host.
    Display* GetDisplay() const { return m_display.get(); }
    Window Root() const;
    int ScreenNumber() const;
    const X11Atoms& Atoms() const { return m_atoms; }
    const X11PixelFormat& PixelFormat() const { return m_pixelFormat; }
    HostLog& Log() { return m_log; }
    // ARKEVEN_EXIT_ON_FIRST_PRESENT=1: the benchmarks' end of start-up.
    bool ExitOnFirstPresent() const { return m_exitOnFirstPresent; }
    void RegisterWindow(Window window, X11Window& hostWindow);
    void UnregisterWindow(Window window);
    // The screen reader bridge, started with the first window; it connects on its own thread.
    atspi::AtspiBridge& Accessibility();
    // Whether a screen reader can read the windows now (the bridge is registered).
    bool ReaderListens() const;

    // Use Open().
    X11Host(OpenKey, DisplayPtr display, const X11PixelFormat& pixelFormat);

private:
    HostRect WorkArea() const;
    std::string RootResources() const;
    bool IsAutoRepeatRelease(const XEvent& event);
    std::string RootWindowString(const char* property) const;
    bool DeliverAccessibleActions();
    bool DeliverAccessibilityRequests();

    DisplayPtr m_display;
    X11PixelFormat m_pixelFormat;
    X11Atoms m_atoms;
    HostLog m_log;
    WakeEvent m_wake;
    bool m_detectableAutoRepeat = false;
    bool m_exitOnFirstPresent = false;
    std::map<Window, X11Window*> m_windows;
    std::unique_ptr<atspi::AtspiBridge> m_accessibility; // first to go: its thread wakes us
};

} // namespace platform::linux::x11
