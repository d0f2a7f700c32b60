#include "framework/InputRouter.h"

#include "framework/CWinApp.h"
#include "framework/CWnd.h"
#include "framework/Messages.h"

CWnd* InputRouter::s_capture = nullptr;

InputRouter::InputRouter(CWnd& topLevel)
    : m_topLevel(topLevel)
{
}

void InputRouter::ReleaseCaptureWithin(const CWnd& ancestor)
{
    for (const CWnd* window = s_capture; window; window = window->GetParent()) {
        if (window == &ancestor) {
            s_capture = nullptr;
            return;
        }
    }
}

void InputRouter::SetFocus(CWnd* focus)
{
    CWnd* old = m_focus;
    if (old == focus)
        return;
    m_focus = focus;
    if (old)
        old->SendMessage(WM_KILLFOCUS, 0, 0);
    if (focus)
        focus->SendMessage(WM_SETFOCUS, 0, 0);
}

void InputRouter::Forget(const CWnd& window)
{
    if (m_focus == &window)
        m_focus = nullptr;
    if (m_hover == &window)
        m_hover = nullptr;
}

void InputRouter::Deliver(const platform::HostInput& input)
{
    using Kind = platform::HostInput::Kind;
    CWinApp* app = AfxGetApp();
    if (!app)
        return;
    switch (input.kind) {
    case Kind::FocusOut:
        for (UINT key = 0; key < 256; ++key)
            app->SetKeyDown(key, false);
        return;
    case Kind::MouseLeave:
        if (CWnd* old = m_hover) {
            m_hover = nullptr;
            old->SendMessage(WM_MOUSELEAVE, 0, 0);
        }
        return;
    case Kind::MouseMove:
    case Kind::MouseDown:
    case Kind::MouseUp:
        if (!m_topLevel.IsWindowEnabled())
            return;
        RouteMouse(input.kind == Kind::MouseMove ? WM_MOUSEMOVE
                : input.kind == Kind::MouseDown  ? WM_LBUTTONDOWN
                                                 : WM_LBUTTONUP,
            { input.x, input.y });
        return;
    case Kind::KeyDown:
    case Kind::KeyUp: {
        bool down = input.kind == Kind::KeyDown;
        if (input.key != VK_CONTROL && input.key != VK_MENU && input.key != VK_SHIFT)
            app->SetKeyDown(input.key, down);
        if (!m_topLevel.IsWindowEnabled())
            return;
        // Alt without Ctrl makes a system key, as on Windows.
        bool system = input.alt && !input.ctrl;
        RouteKey(down ? (system ? WM_SYSKEYDOWN : WM_KEYDOWN) : (system ? WM_SYSKEYUP : WM_KEYUP), input.key);
        return;
    }
    default:
        return; // the window's own events, not input
    }
}

CWnd* InputRouter::WindowAt(CWnd& window, CPoint point)
{
    for (auto it = window.m_children.rbegin(); it != window.m_children.rend(); ++it) {
        CWnd* child = *it;
        if (!child->m_visible || !child->m_enabled)
            continue;
        CPoint local { point.x - child->m_rect.left, point.y - child->m_rect.top };
        if (child->HitTest(local))
            return WindowAt(*child, local);
    }
    return &window;
}

void InputRouter::RouteMouse(UINT message, CPoint point)
{
    CWnd* target = s_capture && s_capture->GetTopLevelWindow() == &m_topLevel ? s_capture : WindowAt(m_topLevel, point);
    if (message == WM_MOUSEMOVE && target != m_hover) {
        CWnd* old = m_hover;
        m_hover = target;
        if (old)
            old->SendMessage(WM_MOUSELEAVE, 0, 0);
    }
    CPoint origin = target->OriginInTopLevel();
    MSG msg { target->GetSafeHwnd(), message, 0,
        MAKELPARAM(static_cast<UINT>(point.x - origin.x), static_cast<UINT>(point.y - origin.y)) };
    for (CWnd* window = target; window; window = window->GetParent()) {
        if (window->PreTranslateMessage(msg))
            return;
    }
    if (CWinApp* app = AfxGetApp(); app && app->PreTranslateMessage(msg))
        return;
    if (CWnd* window = CWnd::FromHandle(msg.hwnd))
        window->SendMessage(msg.message, msg.wParam, msg.lParam);
}

void InputRouter::RouteKey(UINT message, UINT key)
{
    CWnd* target = m_focus ? m_focus : &m_topLevel;
    MSG msg { target->GetSafeHwnd(), message, key, 0 };
    for (CWnd* window = target; window; window = window->GetParent()) {
        if (window->PreTranslateMessage(msg))
            return;
        if (!CWnd::FromHandle(msg.hwnd))
            return;
    }
    if (CWinApp* app = AfxGetApp(); app && app->PreTranslateMessage(msg))
        return;
    if (CWnd* window = CWnd::FromHandle(msg.hwnd))
        window->SendMessage(msg.message, msg.wParam, msg.lParam);
}
