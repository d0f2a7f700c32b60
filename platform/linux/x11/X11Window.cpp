#include "platform/linux/x11/X11Window.h"

#include "platform/files/Utf8.h"

#include "platform/linux/x11/X11Host.h"
#include "platform/linux/atspi/AtspiBridge.h"
#include "platform/linux/x11/X11Keys.h"
#include "platform/linux/x11/X11WindowProperties.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <algorithm>
#include <cstdlib>

// Xlib's event type FocusOut is a macro that would swallow HostInput::Kind::FocusOut.
constexpr int FocusOutEventType = FocusOut;
#undef FocusOut

namespace platform::linux::x11 {

namespace {

HostInput PointerInput(HostInput::Kind kind, int x, int y, unsigned int state)
{
    HostInput input;
    input.kind = kind;
    input.x = x;
    input.y = y;
    KeyModifiers modifiers = ModifiersFromState(state);
    input.ctrl = modifiers.ctrl;
    input.alt = modifiers.alt;
    input.shift = modifiers.shift;
    return input;
}

} // namespace

X11Window::X11Window(X11Host& host, const HostWindowSpec& spec, HostWindowListener& listener)
    : m_host(host)
    , m_listener(listener)
    , m_display(host.GetDisplay())
    , m_instanceName(spec.instanceName)
    , m_rect(spec.rect)
{
    m_rect.width = std::max(1, m_rect.width);
    m_rect.height = std::max(1, m_rect.height);
    m_backing.assign(static_cast<std::size_t>(m_rect.width) * m_rect.height, 0);

    const X11PixelFormat& format = host.PixelFormat();
    XSetWindowAttributes attributes {};
    attributes.background_pixmap = None; // no flash of a background colour before the first frame
    attributes.border_pixel = 0;
    attributes.colormap = DefaultColormap(m_display, host.ScreenNumber());
    attributes.event_mask = ExposureMask | ButtonPressMask | ButtonReleaseMask | PointerMotionMask
        | LeaveWindowMask | KeyPressMask | KeyReleaseMask | FocusChangeMask | StructureNotifyMask
        | PropertyChangeMask;
    m_window = XCreateWindow(m_display, host.Root(), m_rect.x, m_rect.y,
        static_cast<unsigned>(m_rect.width), static_cast<unsigned>(m_rect.height), 0, format.depth,
        InputOutput, format.visual, CWBackPixmap | CWBorderPixel | CWColormap | CWEventMask, &attributes);
    m_host.RegisterWindow(m_window, *this);

    m_properties.emplace(m_display, m_window, m_host.Atoms());
    Window owner = 0;
    if (auto* ownerWindow = dynamic_cast<X11Window*>(spec.transientFor))
        owner = ownerWindow->XId();
    m_properties->SetStatic(m_instanceName, owner);
    m_properties->SetFixedSize(m_rect);
    m_properties->SetInitialState(NormalState);
    m_host.Log().Write("create", m_instanceName, HostLog::Position(m_rect.x, m_rect.y) + " " + HostLog::Size(m_rect.width, m_rect.height));
    SetCaption(spec.caption);
    // Started with the first window, so the host knows whether a screen reader listens before
    // any tree is built; it connects on its own thread, off the way to the first frame.
    m_host.Accessibility();
}

X11Window::~X11Window()
{
    m_host.Log().Write("destroy", m_instanceName);
    if (m_publishedAccessibility)
        m_host.Accessibility().Remove(m_window);
    m_host.UnregisterWindow(m_window);
    XDestroyWindow(m_display, m_window);
    XFlush(m_display);
}

void X11Window::SetCaption(const std::wstring& caption)
{
    m_host.Log().Write("caption", m_instanceName, ToUtf8(caption));
    m_properties->SetCaption(caption);
    XFlush(m_display);
}

void X11Window::Move(int x, int y)
{
    m_host.Log().Write("move", m_instanceName, HostLog::Position(x, y));
    m_rect.x = x;
    m_rect.y = y;
    m_properties->SetFixedSize(m_rect);
    XMoveWindow(m_display, m_window, x, y);
    XFlush(m_display);
}

void X11Window::Resize(int width, int height)
{
    width = std::max(1, width);
    height = std::max(1, height);
    m_host.Log().Write("resize", m_instanceName, HostLog::Size(width, height));
    std::vector<std::uint32_t> backing(static_cast<std::size_t>(width) * height, 0);
    int keptWidth = std::min(width, m_rect.width);
    for (int row = 0; row < std::min(height, m_rect.height); ++row) {
        auto source = m_backing.begin() + static_cast<std::ptrdiff_t>(row) * m_rect.width;
        std::copy(source, source + keptWidth, backing.begin() + static_cast<std::ptrdiff_t>(row) * width);
    }
    m_backing = std::move(backing);
    m_rect.width = width;
    m_rect.height = height;
    m_properties->SetFixedSize(m_rect);
    XResizeWindow(m_display, m_window, static_cast<unsigned>(width), static_cast<unsigned>(height));
    XFlush(m_display);
}

void X11Window::Show(ShowState state)
{
    m_host.Log().Write("show", m_instanceName, HostLog::ShowStateName(state));
    m_shownForAccessibility = state == ShowState::Normal;
    if (m_publishedAccessibility)
        m_host.Accessibility().SetShown(m_window, m_shownForAccessibility);
    switch (state) {
    case ShowState::Hidden:
        if (m_mapRequested)
            XWithdrawWindow(m_display, m_window, m_host.ScreenNumber());
        m_mapRequested = false;
        break;
    case ShowState::Normal:
        // Mapping an iconic window is also how a client asks to have it restored.
        m_properties->SetInitialState(NormalState);
        XMapWindow(m_display, m_window);
        m_mapRequested = true;
        break;
    case ShowState::Minimised:
        m_properties->SetInitialState(IconicState);
        if (!m_mapRequested)
            XMapWindow(m_display, m_window);
        m_mapRequested = true;
        // Sends WM_CHANGE_STATE to the root; without a window manager nothing else happens.
        XIconifyWindow(m_display, m_window, m_host.ScreenNumber());
        break;
    }
    XFlush(m_display);
}

void X11Window::Raise()
{
    m_host.Log().Write("raise", m_instanceName);
    XRaiseWindow(m_display, m_window);

    // The raise follows the user's own action (another start of the program), so ask the way
    // a pager does (source 2); window managers then also restore an iconified window.
    XEvent message {};
    message.xclient.type = ClientMessage;
    message.xclient.window = m_window;
    message.xclient.message_type = m_host.Atoms().netActiveWindow;
    message.xclient.format = 32;
    message.xclient.data.l[0] = 2;
    message.xclient.data.l[1] = CurrentTime;
    XSendEvent(m_display, m_host.Root(), False, SubstructureRedirectMask | SubstructureNotifyMask, &message);

    // Focusing an unviewable window is a protocol error, so ask the server first.
    XWindowAttributes attributes {};
    if (XGetWindowAttributes(m_display, m_window, &attributes) && attributes.map_state == IsViewable)
        XSetInputFocus(m_display, m_window, RevertToParent, CurrentTime);
    XFlush(m_display);
}

void X11Window::Present(const PixelView& frame, const HostRect& dirty)
{
    if (!frame.pixels || frame.width <= 0 || frame.height <= 0 || frame.stride < frame.width)
        return;
    int left = std::max(0, dirty.x);
    int top = std::max(0, dirty.y);
    int right = std::min({ dirty.x + dirty.width, frame.width, m_rect.width });
    int bottom = std::min({ dirty.y + dirty.height, frame.height, m_rect.height });
    if (left >= right || top >= bottom)
        return;

    const X11PixelFormat& format = m_host.PixelFormat();
    for (int y = top; y < bottom; ++y) {
        const std::uint32_t* source = frame.pixels + static_cast<std::ptrdiff_t>(y) * frame.stride;
        std::uint32_t* target = m_backing.data() + static_cast<std::ptrdiff_t>(y) * m_rect.width;
        for (int x = left; x < right; ++x) {
            std::uint32_t pixel = source[x];
            if (format.IsNative()) {
                target[x] = pixel | 0xFF000000u;
                continue;
            }
            std::uint32_t red = (pixel >> 16) & 0xFF;
            std::uint32_t green = (pixel >> 8) & 0xFF;
            std::uint32_t blue = pixel & 0xFF;
            target[x] = (red << format.redShift) | (green << format.greenShift) | (blue << format.blueShift);
        }
    }
    m_hasFrame = true;
    PutFromBacking(left, top, right - left, bottom - top);
    XFlush(m_display);
    if (m_host.ExitOnFirstPresent()) {
        XSync(m_display, False);
        std::_Exit(0); // benchmark mode, as on the headless host
    }
}

void X11Window::PutFromBacking(int x, int y, int width, int height)
{
    const X11PixelFormat& format = m_host.PixelFormat();
    XImage image {};
    image.width = m_rect.width;
    image.height = m_rect.height;
    image.format = ZPixmap;
    image.data = reinterpret_cast<char*>(m_backing.data());
    // Our pixels are in this machine's byte order; Xlib swaps if the server's differs.
    static const std::uint16_t probe = 1;
    image.byte_order = *reinterpret_cast<const std::uint8_t*>(&probe) == 1 ? LSBFirst : MSBFirst;
    image.bitmap_unit = 32;
    image.bitmap_bit_order = image.byte_order;
    image.bitmap_pad = 32;
    image.depth = format.depth;
    image.bytes_per_line = m_rect.width * 4;
    image.bits_per_pixel = 32;
    image.red_mask = format.visual->red_mask;
    image.green_mask = format.visual->green_mask;
    image.blue_mask = format.visual->blue_mask;
    if (!XInitImage(&image))
        return;
    GC gc = DefaultGC(m_display, m_host.ScreenNumber());
    XPutImage(m_display, m_window, gc, &image, x, y, x, y, static_cast<unsigned>(width), static_cast<unsigned>(height));
}

void X11Window::PublishAccessibility(const AccessibleTree& tree, const std::vector<AccessibleEvent>& events)
{
    m_publishedAccessibility = true;
    m_host.Accessibility().Publish(m_window, tree, events);
    m_host.Accessibility().SetShown(m_window, m_shownForAccessibility);
}

bool X11Window::WantsAccessibility() const
{
    return m_host.ReaderListens();
}

void X11Window::DeliverAccessibilityRequest()
{
    HostInput input;
    input.kind = HostInput::Kind::AccessibilityRequested;
    Deliver(input);
}

bool X11Window::DeliverAccessibleAction(std::uint32_t node)
{
    HostInput input;
    input.kind = HostInput::Kind::AccessibleAction;
    input.node = node;
    return Deliver(input);
}

bool X11Window::Deliver(const HostInput& input)
{
    m_listener.OnHostInput(input);
    return true;
}

bool X11Window::HandleEvent(const XEvent& event)
{
    switch (event.type) {
    case Expose: {
        if (!m_hasFrame)
            return false;
        const XExposeEvent& expose = event.xexpose;
        int right = std::min(expose.x + expose.width, m_rect.width);
        int bottom = std::min(expose.y + expose.height, m_rect.height);
        if (expose.x < right && expose.y < bottom)
            PutFromBacking(expose.x, expose.y, right - expose.x, bottom - expose.y);
        return false;
    }
    case ButtonPress:
    case ButtonRelease: {
        const XButtonEvent& button = event.xbutton;
        if (button.button != Button1)
            return false;
        auto kind = event.type == ButtonPress ? HostInput::Kind::MouseDown : HostInput::Kind::MouseUp;
        return Deliver(PointerInput(kind, button.x, button.y, button.state));
    }
    case MotionNotify:
        return Deliver(PointerInput(HostInput::Kind::MouseMove, event.xmotion.x, event.xmotion.y, event.xmotion.state));
    case LeaveNotify:
        if (event.xcrossing.detail == NotifyInferior)
            return false;
        return Deliver(PointerInput(HostInput::Kind::MouseLeave, event.xcrossing.x, event.xcrossing.y, event.xcrossing.state));
    case KeyPress:
    case KeyRelease:
        return HandleKey(event.xkey);
    case FocusOutEventType: {
        // Grabs (a window manager's Alt+Tab, a menu) come and go without the focus moving.
        const XFocusChangeEvent& focus = event.xfocus;
        if (focus.mode == NotifyGrab || focus.mode == NotifyUngrab || focus.detail == NotifyInferior
            || focus.detail == NotifyPointer)
            return false;
        HostInput input;
        input.kind = HostInput::Kind::FocusOut;
        return Deliver(input);
    }
    case ClientMessage:
        return HandleClientMessage(event.xclient);
    case MapNotify:
    case UnmapNotify:
        m_mapped = event.type == MapNotify;
        return ReportIconicChange();
    case PropertyNotify:
        if (event.xproperty.atom != m_host.Atoms().netWmState)
            return false;
        m_hiddenByWindowManager = IsHiddenByWindowManager();
        return ReportIconicChange();
    default:
        return false;
    }
}

bool X11Window::HandleKey(const XKeyEvent& event)
{
    bool pressed = event.type == KeyPress;
    auto* key = const_cast<XKeyEvent*>(&event);
    KeySym keysym = XLookupKeysym(key, 0);
    if (ConsumedByScreenReader(event, keysym))
        return false;
    std::uint32_t virtualKey = VirtualKeyFromKeysym(keysym);
    if (!virtualKey) {
        // Layouts with shifted digits (AZERTY) still name the key by its second level.
        keysym = XLookupKeysym(key, 1);
        virtualKey = VirtualKeyFromKeysym(keysym);
    }
    if (!virtualKey)
        return false;
    HostInput input;
    input.kind = pressed ? HostInput::Kind::KeyDown : HostInput::Kind::KeyUp;
    input.key = virtualKey;
    input.x = event.x;
    input.y = event.y;
    KeyModifiers modifiers = ModifiersForKeyEvent(event.state, keysym, pressed);
    input.ctrl = modifiers.ctrl;
    input.alt = modifiers.alt;
    input.shift = modifiers.shift;
    return Deliver(input);
}

// Every key goes to the screen reader first, as toolkits hand it over: a key it consumed is
// one of its own commands (where am I, flat review) and must not act on the window too.
bool X11Window::ConsumedByScreenReader(const XKeyEvent& event, KeySym keysym)
{
    // Long enough for a busy reader; a hung one costs this once (AtspiBridge).
    constexpr int kReaderAnswerMs = 1000;
    if (!m_host.ReaderListens())
        return false;
    atspi::AtspiKeyEvent key;
    key.pressed = event.type == KeyPress;
    char text[8] = {};
    KeySym typed = NoSymbol;
    int length = XLookupString(const_cast<XKeyEvent*>(&event), text, sizeof text - 1, &typed, nullptr);
    key.keysym = static_cast<std::uint32_t>(typed != NoSymbol ? typed : keysym);
    key.keycode = event.keycode;
    key.modifiers = event.state & 0xFF;
    if (event.state & Mod2Mask)
        key.modifiers |= 1u << 14; // NumLock, as readers expect it
    key.time = static_cast<std::uint32_t>(event.time);
    // Only what prints (ASCII: the bus carries UTF-8); readers name other keys by their keysym.
    auto first = static_cast<unsigned char>(text[0]);
    if (length == 1 && first >= 0x20 && first < 0x7F)
        key.text.assign(text, 1);
    return m_host.Accessibility().KeyConsumedByReader(key, kReaderAnswerMs);
}

// Window managers iconify by unmapping the window (ICCCM); compositing ones may keep it mapped
// and only mark it _NET_WM_STATE_HIDDEN (EWMH). Either way, and back, the listener hears of it,
// whether the program asked for it or the taskbar, a pager or a raise by another start did.
bool X11Window::ReportIconicChange()
{
    if (!m_mapRequested)
        return false; // our own withdraw
    bool iconic = !m_mapped || m_hiddenByWindowManager;
    if (iconic == m_reportedIconic)
        return false;
    m_reportedIconic = iconic;
    HostInput input;
    input.kind = iconic ? HostInput::Kind::Iconified : HostInput::Kind::Restored;
    return Deliver(input);
}

bool X11Window::IsHiddenByWindowManager() const
{
    const X11Atoms& atoms = m_host.Atoms();
    Atom actualType = None;
    int actualFormat = 0;
    unsigned long count = 0;
    unsigned long bytesAfter = 0;
    unsigned char* data = nullptr;
    bool hidden = false;
    if (XGetWindowProperty(m_display, m_window, atoms.netWmState, 0, 64, False, XA_ATOM, &actualType,
            &actualFormat, &count, &bytesAfter, &data) == Success && actualType == XA_ATOM && actualFormat == 32 && data) {
        auto* states = reinterpret_cast<Atom*>(data); // format 32 comes back as longs
        hidden = std::find(states, states + count, atoms.netWmStateHidden) != states + count;
    }
    if (data)
        XFree(data);
    return hidden;
}

bool X11Window::HandleClientMessage(const XClientMessageEvent& event)
{
    const X11Atoms& atoms = m_host.Atoms();
    if (event.message_type != atoms.wmProtocols || event.format != 32)
        return false;
    auto protocol = static_cast<Atom>(event.data.l[0]);
    if (protocol == atoms.wmDeleteWindow) {
        HostInput input;
        input.kind = HostInput::Kind::CloseRequest;
        return Deliver(input);
    }
    if (protocol == atoms.netWmPing) {
        // Answer the window manager's "are you alive" by returning the message to the root.
        XEvent reply {};
        reply.xclient = event;
        reply.xclient.window = m_host.Root();
        XSendEvent(m_display, m_host.Root(), False, SubstructureRedirectMask | SubstructureNotifyMask, &reply);
        XFlush(m_display);
    }
    return false;
}

} // namespace platform::linux::x11
