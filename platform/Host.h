#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace platform {

struct AccessibleTree;
struct AccessibleEvent;

// A host shows the framework's top-level windows on screen (or nowhere, for tests).
// Everything here is called on the UI thread, except Host::Wake().

struct HostRect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
};

// Input as the framework wants it: Win32 virtual-key codes and client coordinates.
struct HostInput {
    enum class Kind {
        MouseMove,
        MouseDown,   // left button
        MouseUp,
        MouseLeave,
        KeyDown,     // key = Win32 virtual-key code
        KeyUp,
        CloseRequest, // the window manager's close button
        Exposed,      // the OS lost the window's pixels: present everything again
        FocusOut,
        // The window was minimised or restored, also by the desktop (taskbar, window manager,
        // a raise by another start). A host may echo the states the program asked for itself.
        Iconified,
        Restored,
        // The window now lies on a screen of another scale (`scale`); `rect` is where the
        // system would put it (screen position, client size at the new scale).
        ScaleChanged,
        // A screen reader asked for the default action of accessible node `node`.
        AccessibleAction,
        // A screen reader has come: publish the accessibility tree now.
        AccessibilityRequested,
    };
    Kind kind = Kind::MouseMove;
    int x = 0;
    int y = 0;
    std::uint32_t key = 0;
    bool ctrl = false;
    bool alt = false;
    bool shift = false;
    double scale = 1.0;
    HostRect rect;
    std::uint32_t node = 0;
};

class HostWindowListener {
public:
    virtual ~HostWindowListener() = default;
    virtual void OnHostInput(const HostInput& input) = 0;
};

// 0xAARRGGBB pixels, row-major, stride in pixels.
struct PixelView {
    const std::uint32_t* pixels = nullptr;
    int width = 0;
    int height = 0;
    int stride = 0;
};

class HostWindow;

struct HostWindowSpec {
    std::wstring caption;
    std::string instanceName;         // X11 WM_CLASS instance ("MainFrm", "AppFrm", ...)
    HostRect rect;
    HostWindow* transientFor = nullptr; // dialogs: their owner's window
    double scale = 1.0;                 // what the window's frame is drawn at
};

enum class ShowState { Hidden, Normal, Minimised };

class HostWindow {
public:
    virtual ~HostWindow() = default;
    virtual void SetCaption(const std::wstring& caption) = 0;
    virtual void Move(int x, int y) = 0;
    virtual void Resize(int width, int height) = 0;
    virtual void Show(ShowState state) = 0;
    virtual void Raise() = 0;
    // Copies the given rectangle of the frame onto the screen.
    virtual void Present(const PixelView& frame, const HostRect& dirty) = 0;
    // The window's accessibility tree as it now is, and what changed since the last call
    // (HostAccessibility.h). Hosts without a screen reader keep nothing.
    virtual void PublishAccessibility(const AccessibleTree&, const std::vector<AccessibleEvent>&) { }
    // Whether anybody reads the tree now; when not, the window need not build it. A host
    // whose reader comes later sends HostInput::Kind::AccessibilityRequested.
    virtual bool WantsAccessibility() const { return false; }
};

class Host {
public:
    virtual ~Host() = default;
    virtual const char* Name() const = 0;
    virtual std::unique_ptr<HostWindow> CreateHostWindow(const HostWindowSpec& spec, HostWindowListener& listener) = 0;
    // Delivers queued OS input to the listeners; returns whether anything was delivered.
    virtual bool DispatchPendingInput() = 0;
    // Blocks until OS input arrives, Wake() is called, or timeoutMs passes (-1: no limit).
    virtual void WaitForInput(int timeoutMs) = 0;
    // Any thread: makes a running or the next WaitForInput return.
    virtual void Wake() = 0;
    // The scale a new window is drawn at: 1 is the skin's own size, 2 at 192 DPI. ARKEVEN_SCALE
    // when set, else what the display says. A window that turns out to lie on a screen of
    // another scale reports HostInput::Kind::ScaleChanged.
    virtual double WindowScale() const = 0;
    // The full-screen client area (SM_CXFULLSCREEN, SM_CYFULLSCREEN), in screen pixels.
    virtual int ScreenWidth() const = 0;
    virtual int ScreenHeight() const = 0;
};

// ARKEVEN_HOST=headless|x11; without it, x11 when DISPLAY is set, else headless.
std::unique_ptr<Host> CreateHostFromEnvironment();

} // namespace platform
