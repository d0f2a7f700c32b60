#include "platform/linux/x11/X11Host.h"

#include "platform/host/DisplayScale.h"
#include "platform/linux/atspi/AtspiBridge.h"
#include "platform/linux/x11/X11Window.h"

#include <X11/XKBlib.h>
#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <cstdio>
#include <cstdlib>
#include <poll.h>
#include <sstream>

namespace platform::linux::x11 {

namespace {

// Xlib's default handler ends the process on any protocol error. Races such as focusing a
// window the window manager has just unmapped are harmless, so report and carry on.
int ReportXError(Display* display, XErrorEvent* error)
{
    char text[256] = {};
    XGetErrorText(display, error->error_code, text, sizeof text);
    std::fprintf(stderr, "x11 host: X error \"%s\" (request %d.%d, resource 0x%lx)\n", text,
        error->request_code, error->minor_code, error->resourceid);
    return 0;
}

int ShiftOfMask(unsigned long mask)
{
    if (mask == 0)
        return -1;
    int shift = 0;
    while (!(mask & 1)) {
        mask >>= 1;
        ++shift;
    }
    return mask == 0xFF ? shift : -1; // 8 contiguous bits, or unsupported
}

bool DetectPixelFormat(Display* display, X11PixelFormat& format)
{
    int screen = DefaultScreen(display);
    Visual* visual = DefaultVisual(display, screen);
    int depth = DefaultDepth(display, screen);
    if (visual->c_class != TrueColor || (depth != 24 && depth != 32)) {
        std::fprintf(stderr, "x11 host: unsupported visual (class %d, depth %d); need 24/32-bit TrueColor\n",
            visual->c_class, depth);
        return false;
    }
    int formatCount = 0;
    XPixmapFormatValues* formats = XListPixmapFormats(display, &formatCount);
    int bitsPerPixel = 0;
    for (int i = 0; i < formatCount; ++i) {
        if (formats[i].depth == depth)
            bitsPerPixel = formats[i].bits_per_pixel;
    }
    if (formats)
        XFree(formats);
    format.visual = visual;
    format.depth = depth;
    format.redShift = ShiftOfMask(visual->red_mask);
    format.greenShift = ShiftOfMask(visual->green_mask);
    format.blueShift = ShiftOfMask(visual->blue_mask);
    if (bitsPerPixel != 32 || format.redShift < 0 || format.greenShift < 0 || format.blueShift < 0) {
        std::fprintf(stderr, "x11 host: unsupported pixel layout (%d bits per pixel, masks %lx/%lx/%lx)\n",
            bitsPerPixel, visual->red_mask, visual->green_mask, visual->blue_mask);
        return false;
    }
    return true;
}

X11Atoms InternAtoms(Display* display)
{
    X11Atoms atoms;
    struct NamedAtom {
        const char* name;
        Atom* atom;
    };
    NamedAtom named[] = {
        { "WM_PROTOCOLS", &atoms.wmProtocols },
        { "WM_DELETE_WINDOW", &atoms.wmDeleteWindow },
        { "WM_CHANGE_STATE", &atoms.wmChangeState },
        { "UTF8_STRING", &atoms.utf8String },
        { "_NET_WM_NAME", &atoms.netWmName },
        { "_NET_WM_PID", &atoms.netWmPid },
        { "_NET_WM_PING", &atoms.netWmPing },
        { "_NET_WM_WINDOW_TYPE", &atoms.netWmWindowType },
        { "_NET_WM_WINDOW_TYPE_NORMAL", &atoms.netWmWindowTypeNormal },
        { "_NET_WM_WINDOW_TYPE_DIALOG", &atoms.netWmWindowTypeDialog },
        { "_NET_WM_STATE", &atoms.netWmState },
        { "_NET_WM_STATE_HIDDEN", &atoms.netWmStateHidden },
        { "_NET_ACTIVE_WINDOW", &atoms.netActiveWindow },
        { "_NET_WORKAREA", &atoms.netWorkarea },
        { "_NET_CURRENT_DESKTOP", &atoms.netCurrentDesktop },
    };
    constexpr int count = sizeof named / sizeof named[0];
    char* names[count];
    Atom values[count];
    for (int i = 0; i < count; ++i)
        names[i] = const_cast<char*>(named[i].name);
    XInternAtoms(display, names, count, False, values);
    for (int i = 0; i < count; ++i)
        *named[i].atom = values[i];
    return atoms;
}

} // namespace

std::unique_ptr<X11Host> X11Host::Open(const char* displayName)
{
    DisplayPtr display(XOpenDisplay(displayName));
    if (!display)
        return nullptr;
    XSetErrorHandler(ReportXError);
    X11PixelFormat pixelFormat;
    if (!DetectPixelFormat(display.get(), pixelFormat))
        return nullptr;
    auto host = std::make_unique<X11Host>(OpenKey {}, std::move(display), pixelFormat);
    if (!host->m_wake.IsValid())
        return nullptr;
    return host;
}

X11Host::X11Host(OpenKey, DisplayPtr display, const X11PixelFormat& pixelFormat)
    : m_display(std::move(display))
    , m_pixelFormat(pixelFormat)
    , m_atoms(InternAtoms(m_display.get()))
    , m_log(HostLog::FromEnvironment())
{
    // Held keys then repeat as KeyPress only, like Win32's repeated WM_KEYDOWN.
    Bool supported = False;
    XkbSetDetectableAutoRepeat(m_display.get(), True, &supported);
    m_detectableAutoRepeat = supported;
    const char* exitOnPresent = std::getenv("ARKEVEN_EXIT_ON_FIRST_PRESENT");
    m_exitOnFirstPresent = exitOnPresent && *exitOnPresent == '1';
}

X11Host::~X11Host() = default;

Window X11Host::Root() const
{
    return DefaultRootWindow(m_display.get());
}

int X11Host::ScreenNumber() const
{
    return DefaultScreen(m_display.get());
}

std::unique_ptr<HostWindow> X11Host::CreateHostWindow(const HostWindowSpec& spec, HostWindowListener& listener)
{
    return std::make_unique<X11Window>(*this, spec, listener);
}

void X11Host::RegisterWindow(Window window, X11Window& hostWindow)
{
    m_windows[window] = &hostWindow;
}

void X11Host::UnregisterWindow(Window window)
{
    m_windows.erase(window);
}

bool X11Host::IsAutoRepeatRelease(const XEvent& event)
{
    // Without detectable auto-repeat the server sends Release+Press pairs with one timestamp.
    if (m_detectableAutoRepeat || event.type != KeyRelease || !XEventsQueued(m_display.get(), QueuedAfterReading))
        return false;
    XEvent next;
    XPeekEvent(m_display.get(), &next);
    return next.type == KeyPress && next.xkey.window == event.xkey.window
        && next.xkey.keycode == event.xkey.keycode && next.xkey.time == event.xkey.time;
}

atspi::AtspiBridge& X11Host::Accessibility()
{
    if (!m_accessibility) {
        auto options = atspi::AtspiBridge::FromEnvironment(RootWindowString("AT_SPI_BUS"));
        m_accessibility = std::make_unique<atspi::AtspiBridge>(std::move(options), [this] { Wake(); });
    }
    return *m_accessibility;
}

std::string X11Host::RootWindowString(const char* property) const
{
    Atom atom = XInternAtom(m_display.get(), property, True);
    if (atom == None)
        return {};
    Atom actualType = None;
    int actualFormat = 0;
    unsigned long length = 0;
    unsigned long bytesAfter = 0;
    unsigned char* data = nullptr;
    std::string value;
    if (XGetWindowProperty(m_display.get(), Root(), atom, 0, 1024, False, AnyPropertyType, &actualType, &actualFormat,
            &length, &bytesAfter, &data) == Success && actualFormat == 8 && data)
        value.assign(reinterpret_cast<const char*>(data), length);
    if (data)
        XFree(data);
    return value;
}

bool X11Host::DeliverAccessibleActions()
{
    if (!m_accessibility)
        return false;
    bool delivered = false;
    for (const auto& action : m_accessibility->TakeActions()) {
        // Looked up per action: the one before may have closed a window.
        auto it = m_windows.find(static_cast<Window>(action.window));
        if (it != m_windows.end())
            delivered |= it->second->DeliverAccessibleAction(action.node);
    }
    return delivered;
}

bool X11Host::ReaderListens() const
{
    return m_accessibility && m_accessibility->IsRegistered();
}

bool X11Host::DeliverAccessibilityRequests()
{
    if (!m_accessibility || !m_accessibility->TakeRepublishRequest())
        return false;
    std::vector<Window> windows;
    for (const auto& [window, hostWindow] : m_windows)
        windows.push_back(window);
    for (Window window : windows) {
        auto it = m_windows.find(window); // a listener may close windows
        if (it != m_windows.end())
            it->second->DeliverAccessibilityRequest();
    }
    return true;
}

bool X11Host::DispatchPendingInput()
{
    bool delivered = DeliverAccessibilityRequests();
    delivered |= DeliverAccessibleActions();
    while (XPending(m_display.get()) > 0) {
        XEvent event;
        XNextEvent(m_display.get(), &event);
        if (IsAutoRepeatRelease(event))
            continue;
        // Look the window up per event: a listener may destroy or create windows.
        auto it = m_windows.find(event.xany.window);
        if (it == m_windows.end())
            continue;
        delivered |= it->second->HandleEvent(event);
    }
    return delivered;
}

void X11Host::WaitForInput(int timeoutMs)
{
    if (m_wake.Clear())
        return;
    XFlush(m_display.get());
    if (XPending(m_display.get()) > 0)
        return;
    pollfd fds[2] = {
        { ConnectionNumber(m_display.get()), POLLIN, 0 },
        { m_wake.Fd(), POLLIN, 0 },
    };
    // EINTR and errors simply end the wait; the caller loops.
    poll(fds, 2, timeoutMs < 0 ? -1 : timeoutMs);
    if (fds[1].revents & POLLIN)
        m_wake.Clear();
}

void X11Host::Wake()
{
    m_wake.Signal();
}

HostRect X11Host::WorkArea() const
{
    Display* display = m_display.get();
    int screen = DefaultScreen(display);
    HostRect screenRect { 0, 0, DisplayWidth(display, screen), DisplayHeight(display, screen) };

    auto readCardinals = [&](Atom property, long maxItems, std::vector<long>& values) {
        Atom actualType = None;
        int actualFormat = 0;
        unsigned long itemCount = 0;
        unsigned long bytesAfter = 0;
        unsigned char* data = nullptr;
        int status = XGetWindowProperty(display, Root(), property, 0, maxItems, False, XA_CARDINAL,
            &actualType, &actualFormat, &itemCount, &bytesAfter, &data);
        if (status == Success && actualType == XA_CARDINAL && actualFormat == 32 && data) {
            auto* items = reinterpret_cast<long*>(data); // format 32 comes back as longs
            values.assign(items, items + itemCount);
        }
        if (data)
            XFree(data);
    };

    std::vector<long> desktop;
    readCardinals(m_atoms.netCurrentDesktop, 1, desktop);
    long desktopIndex = desktop.empty() ? 0 : desktop[0];
    std::vector<long> workAreas;
    readCardinals(m_atoms.netWorkarea, 4 * 64, workAreas);
    if (desktopIndex < 0 || static_cast<std::size_t>(desktopIndex + 1) * 4 > workAreas.size())
        desktopIndex = 0;
    if (workAreas.size() < 4)
        return screenRect;
    const long* area = &workAreas[desktopIndex * 4];
    if (area[2] <= 0 || area[3] <= 0)
        return screenRect;
    return { static_cast<int>(area[0]), static_cast<int>(area[1]), static_cast<int>(area[2]), static_cast<int>(area[3]) };
}

std::optional<double> X11Host::XftDpi(const std::string& resources)
{
    std::istringstream lines(resources);
    std::string line;
    while (std::getline(lines, line)) {
        size_t colon = line.find(':');
        if (colon == std::string::npos)
            continue;
        auto trimmed = [](std::string text) {
            size_t first = text.find_first_not_of(" \t");
            size_t last = text.find_last_not_of(" \t\r");
            return first == std::string::npos ? std::string() : text.substr(first, last - first + 1);
        };
        if (trimmed(line.substr(0, colon)) == "Xft.dpi")
            return ParseDecimal(trimmed(line.substr(colon + 1)));
    }
    return std::nullopt;
}

// Read afresh for each window: the desktop may change it while the program runs.
std::string X11Host::RootResources() const
{
    Atom actualType = None;
    int actualFormat = 0;
    unsigned long length = 0;
    unsigned long bytesAfter = 0;
    unsigned char* data = nullptr;
    std::string resources;
    if (XGetWindowProperty(m_display.get(), Root(), XA_RESOURCE_MANAGER, 0, 1 << 16, False, XA_STRING, &actualType,
            &actualFormat, &length, &bytesAfter, &data) == Success && actualType == XA_STRING && actualFormat == 8 && data)
        resources.assign(reinterpret_cast<const char*>(data), length);
    if (data)
        XFree(data);
    return resources;
}

double X11Host::WindowScale() const
{
    if (auto scale = ScaleFromEnvironment())
        return *scale;
    // GTK's own override, which desktops set for a whole session.
    if (const char* gdkScale = std::getenv("GDK_SCALE"); gdkScale && *gdkScale) {
        if (auto scale = ParseScale(gdkScale))
            return *scale;
    }
    if (auto dpi = XftDpi(RootResources()))
        return ScaleFromDpi(*dpi);
    return 1.0;
}

int X11Host::ScreenWidth() const
{
    return WorkArea().width;
}

int X11Host::ScreenHeight() const
{
    return WorkArea().height;
}

std::unique_ptr<platform::Host> CreateX11Host()
{
    return X11Host::Open();
}

} // namespace platform::linux::x11
