#include "platform/win32/Win32Window.h"

#include "platform/files/Utf8.h"
#include "platform/host/DisplayScale.h"
#include "platform/win32/AccessibilityLibrary.h"
#include "platform/win32/Win32Dpi.h"
#include "platform/win32/Win32Host.h"
#include "platform/win32/WindowAccessible.h"

#include <windowsx.h>

#include <algorithm>
#include <cmath>

namespace platform::win32 {

namespace {

bool IsDown(int virtualKey)
{
    return (::GetKeyState(virtualKey) & 0x8000) != 0;
}

void SetModifiers(HostInput& input)
{
    input.ctrl = IsDown(VK_CONTROL);
    input.alt = IsDown(VK_MENU);
    input.shift = IsDown(VK_SHIFT);
}

} // namespace

Win32Window::Win32Window(Win32Host& host, const HostWindowSpec& spec, HostWindowListener& listener)
    : m_host(host)
    , m_listener(listener)
    , m_instanceName(spec.instanceName)
    , m_rect(spec.rect)
    , m_scale(spec.scale)
{
    m_rect.width = std::max(1, m_rect.width);
    m_rect.height = std::max(1, m_rect.height);
    m_backing.assign(static_cast<std::size_t>(m_rect.width) * m_rect.height, 0);

    // Dialogs are owned by their opener: they stay above it and leave the taskbar to it.
    HWND owner = nullptr;
    if (auto* ownerWindow = dynamic_cast<Win32Window*>(spec.transientFor))
        owner = ownerWindow->Handle();
    SIZE outer = OuterSize(m_rect.width, m_rect.height, Win32Dpi::System());
    m_window = ::CreateWindowExW(kExtendedStyle, Win32Host::ClassName(), spec.caption.c_str(), kStyle, m_rect.x,
        m_rect.y, outer.cx, outer.cy, owner, nullptr, ::GetModuleHandleW(nullptr), this);
    if (m_window)
        m_host.RegisterWindow(m_window, *this);
    m_accessibility = std::make_shared<AccessibleWindowState>();
    m_accessibility->window = m_window;
    m_accessibility->doAction = [this](std::uint32_t node) {
        HostInput input;
        input.kind = HostInput::Kind::AccessibleAction;
        input.node = node;
        Queue(input);
    };
    m_host.Log().Write("create", m_instanceName, HostLog::Position(m_rect.x, m_rect.y) + " " + HostLog::Size(m_rect.width, m_rect.height));
    SetCaption(spec.caption);
    // The window may have come up on a screen of another DPI than the one it was drawn for.
    if (m_window)
        FollowScreenScale(Dpi(), m_rect.x, m_rect.y);
}

UINT Win32Window::Dpi() const
{
    return Win32Dpi::ForWindow(m_window);
}

void Win32Window::FollowScreenScale(UINT dpi, int x, int y)
{
    if (m_host.HasFixedScale())
        return;
    double scale = ScaleFromDpi(dpi);
    if (scale == m_scale)
        return;
    double factor = scale / m_scale;
    m_scale = scale;
    HostInput input;
    input.kind = HostInput::Kind::ScaleChanged;
    input.scale = scale;
    input.rect = { x, y, static_cast<int>(std::lround(m_rect.width * factor)), static_cast<int>(std::lround(m_rect.height * factor)) };
    Queue(input);
}

// Moved to a screen of another DPI (or that screen's DPI changed): take the place the system
// suggests at once, as it expects, and let the listener lay the window out anew; its Resize
// then sets the exact client size.
void Win32Window::OnDpiChanged(UINT dpi, const RECT& suggested)
{
    m_rect.x = suggested.left;
    m_rect.y = suggested.top;
    // At a fixed scale the client area keeps its size; only the frame around it changes.
    SIZE outer = m_host.HasFixedScale() ? OuterSize(m_rect.width, m_rect.height, dpi)
                                        : SIZE { suggested.right - suggested.left, suggested.bottom - suggested.top };
    ::SetWindowPos(m_window, nullptr, suggested.left, suggested.top, outer.cx, outer.cy, SWP_NOZORDER | SWP_NOACTIVATE);
    FollowScreenScale(dpi, suggested.left, suggested.top);
}

Win32Window::~Win32Window()
{
    m_host.Log().Write("destroy", m_instanceName);
    // Objects a screen reader still holds now answer that the window is gone.
    m_accessibility->window = nullptr;
    m_accessibility->doAction = nullptr;
    if (!m_window)
        return;
    if (m_dialogShown)
        ::NotifyWinEvent(EVENT_SYSTEM_DIALOGEND, m_window, OBJID_WINDOW, CHILDID_SELF);
    m_host.UnregisterWindow(m_window);
    ::SetWindowLongPtrW(m_window, GWLP_USERDATA, 0);
    ::DestroyWindow(m_window);
}

SIZE Win32Window::OuterSize(int clientWidth, int clientHeight, UINT dpi) const
{
    return Win32Dpi::OuterSize({ clientWidth, clientHeight }, kStyle, kExtendedStyle, dpi);
}

void Win32Window::SetCaption(const std::wstring& caption)
{
    m_host.Log().Write("caption", m_instanceName, ToUtf8(caption));
    ::SetWindowTextW(m_window, caption.c_str());
}

void Win32Window::Move(int x, int y)
{
    m_rect.x = x;
    m_rect.y = y;
    m_host.Log().Write("move", m_instanceName, HostLog::Position(x, y));
    ::SetWindowPos(m_window, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void Win32Window::Resize(int width, int height)
{
    width = std::max(1, width);
    height = std::max(1, height);
    m_host.Log().Write("resize", m_instanceName, HostLog::Size(width, height));
    if (width != m_rect.width || height != m_rect.height) {
        m_rect.width = width;
        m_rect.height = height;
        m_backing.assign(static_cast<std::size_t>(width) * height, 0);
    }
    SIZE outer = OuterSize(width, height, Dpi());
    ::SetWindowPos(m_window, nullptr, 0, 0, outer.cx, outer.cy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void Win32Window::Show(ShowState state)
{
    m_host.Log().Write("show", m_instanceName, HostLog::ShowStateName(state));
    switch (state) {
    case ShowState::Hidden:
        ::ShowWindow(m_window, SW_HIDE);
        if (m_dialogShown)
            ::NotifyWinEvent(EVENT_SYSTEM_DIALOGEND, m_window, OBJID_WINDOW, CHILDID_SELF);
        m_dialogShown = false;
        break;
    case ShowState::Normal:
        ::ShowWindow(m_window, SW_SHOWNORMAL);
        if (IsDialog() && !m_dialogShown)
            ::NotifyWinEvent(EVENT_SYSTEM_DIALOGSTART, m_window, OBJID_WINDOW, CHILDID_SELF);
        m_dialogShown = IsDialog();
        break;
    case ShowState::Minimised:
        ::ShowWindow(m_window, SW_MINIMIZE);
        break;
    }
}

void Win32Window::Raise()
{
    m_host.Log().Write("raise", m_instanceName);
    ::BringWindowToTop(m_window);
    ::SetForegroundWindow(m_window);
}

void Win32Window::Present(const PixelView& frame, const HostRect& dirty)
{
    int left = std::max({ 0, dirty.x });
    int top = std::max({ 0, dirty.y });
    int right = std::min({ dirty.x + dirty.width, frame.width, m_rect.width });
    int bottom = std::min({ dirty.y + dirty.height, frame.height, m_rect.height });
    if (!frame.pixels || left >= right || top >= bottom)
        return;
    for (int y = top; y < bottom; ++y) {
        const std::uint32_t* source = frame.pixels + static_cast<std::size_t>(y) * frame.stride + left;
        std::copy(source, source + (right - left), m_backing.begin() + static_cast<std::size_t>(y) * m_rect.width + left);
    }
    if (!m_window)
        return;
    HDC dc = ::GetDC(m_window);
    PaintFromBacking(dc, RECT { left, top, right, bottom });
    ::ReleaseDC(m_window, dc);
}

// 0xAARRGGBB in memory is B, G, R, A: a 32-bit BI_RGB DIB as it is. The DIB handed over starts
// at the area's first row and is exactly the area's rows high, so the source rectangle's
// vertical origin cannot be misread between top-down and bottom-up conventions.
void Win32Window::PaintFromBacking(HDC dc, const RECT& area)
{
    LONG left = std::max<LONG>(area.left, 0);
    LONG top = std::max<LONG>(area.top, 0);
    LONG right = std::min<LONG>(area.right, m_rect.width);
    LONG bottom = std::min<LONG>(area.bottom, m_rect.height);
    if (left >= right || top >= bottom)
        return;
    BITMAPINFO info {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = m_rect.width;
    info.bmiHeader.biHeight = -(bottom - top);
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    const std::uint32_t* rows = m_backing.data() + static_cast<std::size_t>(top) * m_rect.width;
    ::StretchDIBits(dc, left, top, right - left, bottom - top, left, 0, right - left, bottom - top, rows, &info,
        DIB_RGB_COLORS, SRCCOPY);
}

HostInput Win32Window::PointerInput(HostInput::Kind kind, LPARAM lParam) const
{
    HostInput input;
    input.kind = kind;
    input.x = GET_X_LPARAM(lParam);
    input.y = GET_Y_LPARAM(lParam);
    SetModifiers(input);
    return input;
}

void Win32Window::Queue(const HostInput& input)
{
    m_host.QueueInput(m_window, input);
}

bool Win32Window::IsDialog() const
{
    const AccessibleNode* root = m_accessibility->tree.Find(0);
    return root && root->role == AccessibleRole::Dialog;
}

bool Win32Window::WantsAccessibility() const
{
    if (m_clientObjectHandedOut)
        return true;
    // A screen reader hooks the events it follows; without such a hook nobody reads the tree.
    for (DWORD event : { EVENT_OBJECT_FOCUS, EVENT_OBJECT_NAMECHANGE, EVENT_OBJECT_VALUECHANGE, EVENT_OBJECT_STATECHANGE,
             EVENT_OBJECT_SHOW, EVENT_SYSTEM_DIALOGSTART }) {
        if (::IsWinEventHookInstalled(event))
            return true;
    }
    return false;
}

void Win32Window::PublishAccessibility(const AccessibleTree& tree, const std::vector<AccessibleEvent>& events)
{
    m_accessibility->tree = tree;
    if (!m_window)
        return;
    for (const AccessibleEvent& event : events) {
        auto child = static_cast<LONG>(event.node);
        switch (event.kind) {
        case AccessibleEventKind::Focus:
            ::NotifyWinEvent(EVENT_OBJECT_FOCUS, m_window, OBJID_CLIENT, child);
            break;
        case AccessibleEventKind::NameChanged:
            ::NotifyWinEvent(EVENT_OBJECT_NAMECHANGE, m_window, OBJID_CLIENT, child);
            break;
        case AccessibleEventKind::ValueChanged:
            ::NotifyWinEvent(EVENT_OBJECT_VALUECHANGE, m_window, OBJID_CLIENT, child);
            break;
        case AccessibleEventKind::StateChanged:
            ::NotifyWinEvent(EVENT_OBJECT_STATECHANGE, m_window, OBJID_CLIENT, child);
            break;
        case AccessibleEventKind::Shown:
            ::NotifyWinEvent(EVENT_OBJECT_SHOW, m_window, OBJID_CLIENT, child);
            break;
        case AccessibleEventKind::Hidden:
            ::NotifyWinEvent(EVENT_OBJECT_HIDE, m_window, OBJID_CLIENT, child);
            break;
        case AccessibleEventKind::SelectionChanged:
            // The chosen item is the one selected among the list's items.
            for (const AccessibleNode& node : tree.nodes) {
                if (node.parent == event.node && node.id != 0 && node.Has(AccessibleState::Selected))
                    ::NotifyWinEvent(EVENT_OBJECT_SELECTION, m_window, OBJID_CLIENT, static_cast<LONG>(node.id));
            }
            break;
        case AccessibleEventKind::ChildrenChanged:
            // Every node is a simple element of the client object: its children changed.
            ::NotifyWinEvent(EVENT_OBJECT_REORDER, m_window, OBJID_CLIENT, CHILDID_SELF);
            break;
        }
    }
}

// A new object per request, handed over by LresultFromObject, which takes its own reference.
LRESULT Win32Window::AccessibleObject(WPARAM wParam)
{
    m_host.EnsureComApartment();
    IAccessible* object = WindowAccessible::Create(m_accessibility);
    if (!object)
        return 0;
    LRESULT result = AccessibilityLibrary::Get().LresultFromObject(IID_IAccessible, wParam, object);
    object->Release();
    return result;
}

bool Win32Window::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result)
{
    result = 0;
    switch (message) {
    case WM_GETOBJECT:
        // The client area is ours to describe; everything else (the frame, the caption) the
        // system answers. lParam is compared as a DWORD, as a 64-bit program must.
        if (static_cast<DWORD>(lParam) != static_cast<DWORD>(OBJID_CLIENT))
            return false;
        // From now on a client holds the object: the tree is kept up to date, and built now if
        // nobody read it before.
        m_clientObjectHandedOut = true;
        if (m_accessibility->tree.nodes.empty()) {
            HostInput input;
            input.kind = HostInput::Kind::AccessibilityRequested;
            m_listener.OnHostInput(input);
        }
        if (m_accessibility->tree.nodes.empty())
            return false;
        result = AccessibleObject(wParam);
        return true;
    case WM_PAINT: {
        PAINTSTRUCT paint;
        HDC dc = ::BeginPaint(m_window, &paint);
        PaintFromBacking(dc, paint.rcPaint);
        ::EndPaint(m_window, &paint);
        return true;
    }
    case WM_ERASEBKGND:
        result = 1; // the frame covers everything; no flash of a background colour
        return true;
    case WM_MOUSEMOVE:
        if (!m_trackingLeave) {
            TRACKMOUSEEVENT track { sizeof track, TME_LEAVE, m_window, 0 };
            m_trackingLeave = ::TrackMouseEvent(&track) != FALSE;
        }
        Queue(PointerInput(HostInput::Kind::MouseMove, lParam));
        return true;
    case WM_MOUSELEAVE: {
        m_trackingLeave = false;
        HostInput input;
        input.kind = HostInput::Kind::MouseLeave;
        Queue(input);
        return true;
    }
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK: // a quick second click is still a click
        ::SetCapture(m_window);
        Queue(PointerInput(HostInput::Kind::MouseDown, lParam));
        return true;
    case WM_LBUTTONUP:
        ::ReleaseCapture();
        Queue(PointerInput(HostInput::Kind::MouseUp, lParam));
        return true;
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
    case WM_KEYUP:
    case WM_SYSKEYUP: {
        HostInput input;
        bool down = message == WM_KEYDOWN || message == WM_SYSKEYDOWN;
        input.kind = down ? HostInput::Kind::KeyDown : HostInput::Kind::KeyUp;
        input.key = static_cast<std::uint32_t>(wParam);
        SetModifiers(input);
        Queue(input);
        // Alt+F4 still closes through the system; other Alt keys open no system menu.
        return !(message == WM_SYSKEYDOWN && wParam == VK_F4);
    }
    case WM_SYSCOMMAND:
        // Alt alone would start the menu loop, which stops the program's own loop meanwhile.
        return (wParam & 0xFFF0) == SC_KEYMENU;
    case WM_KILLFOCUS: {
        HostInput input;
        input.kind = HostInput::Kind::FocusOut;
        Queue(input);
        return true;
    }
    case WM_SIZE:
        // Also when the taskbar or another start restores the window: the framework keeps
        // its own minimised flag, which must follow.
        if (wParam == SIZE_MINIMIZED || wParam == SIZE_RESTORED) {
            HostInput input;
            input.kind = wParam == SIZE_MINIMIZED ? HostInput::Kind::Iconified : HostInput::Kind::Restored;
            Queue(input);
        }
        return false;
    case WM_DPICHANGED:
        OnDpiChanged(LOWORD(wParam), *reinterpret_cast<const RECT*>(lParam));
        return true;
    case WM_CLOSE: {
        HostInput input;
        input.kind = HostInput::Kind::CloseRequest;
        Queue(input);
        return true;
    }
    default:
        return false;
    }
}

} // namespace platform::win32
