#include "framework/CWnd.h"

#include "framework/CWinApp.h"
#include "framework/Messages.h"

#include <algorithm>
#include <map>

namespace {

// Both live on the UI thread only.
std::map<WindowHandle, CWnd*>& Registry()
{
    static std::map<WindowHandle, CWnd*> windows;
    return windows;
}

std::vector<CWnd*>& TopLevels()
{
    static std::vector<CWnd*> windows;
    return windows;
}

WindowHandle g_nextHandle = 0x100;
CWnd::MessageSpy g_spy;
CWnd* g_capture = nullptr;

WindowHandle Register(CWnd* window)
{
    WindowHandle handle = g_nextHandle++;
    Registry()[handle] = window;
    return handle;
}

bool IsSameOrDescendant(CWnd* window, CWnd* ancestor)
{
    for (; window; window = window->GetParent()) {
        if (window == ancestor)
            return true;
    }
    return false;
}

platform::PixelView ViewOf(const Framebuffer& frame)
{
    return { frame.Data(), frame.Width(), frame.Height(), frame.Width() };
}

platform::HostRect ToHostRect(const CRect& rect)
{
    return { rect.left, rect.top, rect.Width(), rect.Height() };
}

} // namespace

CWnd::CWnd() = default;

CWnd::~CWnd()
{
    if (m_hWnd)
        DestroyTree();
}

CWnd* CWnd::FromHandle(WindowHandle handle)
{
    auto it = Registry().find(handle);
    return it == Registry().end() ? nullptr : it->second;
}

const MessageMap* CWnd::GetThisMessageMap()
{
    static const MessageMap map { nullptr, {} };
    return &map;
}

const MessageMap* CWnd::GetMessageMap() const
{
    return GetThisMessageMap();
}

bool CWnd::PreCreateWindow(CREATESTRUCT&)
{
    return true;
}

bool CWnd::PreTranslateMessage(MSG&)
{
    return false;
}

bool CWnd::CreateTopLevel(CREATESTRUCT& cs, CWnd* owner)
{
    if (m_hWnd)
        return false;
    m_hWnd = Register(this);
    m_owner = owner ? owner->GetTopLevelWindow() : nullptr;
    // A dialog opens over its owner, so on the owner's screen.
    if (m_owner)
        m_scale = m_owner->m_scale;
    else if (CWinApp* app = AfxGetApp(); app && app->HasHost())
        m_scale = app->GetHost().WindowScale();
    m_rect = { cs.x, cs.y, cs.x + cs.cx, cs.y + cs.cy };
    m_text = cs.name;
    m_frame = std::make_unique<Framebuffer>(cs.cx, cs.cy);
    TopLevels().push_back(this);
    if (SendMessage(WM_CREATE, 0, reinterpret_cast<LPARAM>(&cs)) == -1) {
        DestroyWindow();
        return false;
    }
    return true;
}

bool CWnd::CreateChild(CWnd& parent, UINT id, const CRect& rect, bool visible)
{
    if (m_hWnd || !parent.m_hWnd)
        return false;
    m_hWnd = Register(this);
    m_parent = &parent;
    m_id = id;
    m_rect = rect;
    m_visible = visible;
    parent.m_children.push_back(this);
    CREATESTRUCT cs;
    cs.x = rect.left;
    cs.y = rect.top;
    cs.cx = rect.Width();
    cs.cy = rect.Height();
    cs.parent = &parent;
    if (SendMessage(WM_CREATE, 0, reinterpret_cast<LPARAM>(&cs)) == -1) {
        DestroyWindow();
        return false;
    }
    InvalidateRect(nullptr);
    return true;
}

bool CWnd::DestroyWindow()
{
    if (!m_hWnd || m_destroying)
        return false;
    m_destroying = true;
    WindowProc(WM_DESTROY, 0, 0);
    DestroyTree();
    m_destroying = false;

    CWinApp* app = AfxGetApp();
    if (app && app->m_pMainWnd == this) {
        app->m_pMainWnd = nullptr;
        app->PostQuitMessage(0);
    }
    PostNcDestroy();
    return true;
}

// Takes the window and its children out of every table; no handler runs for this window.
void CWnd::DestroyTree()
{
    m_destroying = true;
    for (CWnd* child : std::vector<CWnd*>(m_children))
        child->DestroyWindow();
    if (g_capture && IsSameOrDescendant(g_capture, this))
        g_capture = nullptr;

    if (m_parent) {
        auto& siblings = m_parent->m_children;
        siblings.erase(std::remove(siblings.begin(), siblings.end(), this), siblings.end());
        CWnd* top = m_parent->GetTopLevelWindow();
        if (top->m_focus == this)
            top->m_focus = nullptr;
        if (top->m_hover == this)
            top->m_hover = nullptr;
        if (m_visible)
            m_parent->InvalidateRect(&m_rect);
        m_parent = nullptr;
    } else {
        auto& tops = TopLevels();
        tops.erase(std::remove(tops.begin(), tops.end(), this), tops.end());
        m_hostWindow.reset();
    }
    Registry().erase(m_hWnd);
    m_hWnd = 0;
    m_destroying = false;
}

LRESULT CWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    LRESULT result = 0;
    if (OnWndMsg(message, wParam, lParam, &result))
        return result;
    return DefWindowProc(message, wParam, lParam);
}

bool CWnd::OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result)
{
    for (const MessageMap* map = GetMessageMap(); map; map = map->base) {
        for (const MessageMapEntry& entry : map->entries) {
            if (entry.message != message)
                continue;
            if (!entry.matchesAnyId) {
                UINT id = LOWORD(wParam);
                if (HIWORD(wParam) != entry.code || id < entry.idFirst || id > entry.idLast)
                    continue;
            }
            *result = entry.handler(*this, wParam, lParam);
            return true;
        }
    }
    return false;
}

LRESULT CWnd::DefWindowProc(UINT message, WPARAM, LPARAM)
{
    if (message == WM_CLOSE)
        DestroyWindow();
    return 0;
}

LRESULT CWnd::SendMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (!m_hWnd)
        return 0;
    CWinApp* app = AfxGetApp();
    if (app && !app->IsUiThread())
        return app->Queue().SendAndWait({ m_hWnd, message, wParam, lParam });
    if (g_spy)
        g_spy(*this, message, wParam, lParam);
    return WindowProc(message, wParam, lParam);
}

void CWnd::SetMessageSpy(MessageSpy spy)
{
    g_spy = std::move(spy);
}

bool CWnd::PostMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    CWinApp* app = AfxGetApp();
    if (!m_hWnd || !app)
        return false;
    app->Queue().Post({ m_hWnd, message, wParam, lParam });
    return true;
}

bool CWnd::ShowWindow(int command)
{
    bool wasVisible = m_visible;
    bool wasMinimized = m_minimized;
    if (command == SW_HIDE) {
        m_visible = false;
    } else {
        m_visible = true;
        m_minimized = command == SW_MINIMIZE;
    }
    if (!IsTopLevel()) {
        if (wasVisible != m_visible)
            m_parent->InvalidateRect(&m_rect);
        return wasVisible;
    }
    if (!m_visible) {
        if (wasVisible)
            SendMessage(WM_SHOWWINDOW, 0, 0);
        if (m_hostWindow)
            m_hostWindow->Show(platform::ShowState::Hidden);
        return wasVisible;
    }
    if (!wasVisible)
        SendMessage(WM_SHOWWINDOW, 1, 0);
    bool firstShow = !m_hostWindow;
    EnsureHostWindow();
    if (!m_hostWindow)
        return wasVisible;
    if (firstShow || !wasVisible)
        PaintAndPresent(m_frame->Bounds());
    if (!wasVisible || wasMinimized != m_minimized || firstShow)
        m_hostWindow->Show(m_minimized ? platform::ShowState::Minimised : platform::ShowState::Normal);
    return wasVisible;
}

bool CWnd::IsWindowVisible() const
{
    for (const CWnd* window = this; window; window = window->m_parent) {
        if (!window->m_visible)
            return false;
    }
    return m_hWnd != 0;
}

bool CWnd::EnableWindow(bool enable)
{
    bool wasDisabled = !m_enabled;
    if (m_enabled == enable)
        return wasDisabled;
    m_enabled = enable;
    if (!enable && g_capture && IsSameOrDescendant(g_capture, this))
        g_capture = nullptr;
    SendMessage(WM_ENABLE, enable ? 1 : 0, 0);
    InvalidateRect(nullptr);
    return wasDisabled;
}

bool CWnd::IsWindowEnabled() const
{
    for (const CWnd* window = this; window; window = window->m_parent) {
        if (!window->m_enabled)
            return false;
    }
    return true;
}

void CWnd::SetWindowText(const std::wstring& text)
{
    m_text = text;
    if (m_hostWindow)
        m_hostWindow->SetCaption(text);
    if (!IsTopLevel())
        InvalidateRect(nullptr);
}

CPoint CWnd::ScreenOrigin() const
{
    CPoint origin { m_rect.left, m_rect.top };
    for (const CWnd* parent = m_parent; parent; parent = parent->m_parent) {
        origin.x += parent->m_rect.left;
        origin.y += parent->m_rect.top;
    }
    return origin;
}

CPoint CWnd::OriginInTopLevel() const
{
    if (IsTopLevel())
        return {};
    CPoint origin = ScreenOrigin();
    const CWnd* top = this;
    while (top->m_parent)
        top = top->m_parent;
    return { origin.x - top->m_rect.left, origin.y - top->m_rect.top };
}

double CWnd::GetScale() const
{
    const CWnd* top = this;
    while (top->m_parent)
        top = top->m_parent;
    return top->m_scale;
}

void CWnd::GetWindowRect(CRect* rect) const
{
    *rect = GetWindowRect();
}

CRect CWnd::GetWindowRect() const
{
    CPoint origin = ScreenOrigin();
    return { origin.x, origin.y, origin.x + m_rect.Width(), origin.y + m_rect.Height() };
}

void CWnd::MoveWindow(int x, int y, int width, int height, bool repaint)
{
    CRect newRect { x, y, x + width, y + height };
    if (!IsTopLevel()) {
        if (m_visible)
            m_parent->InvalidateRect(&m_rect);
        m_rect = newRect;
        if (repaint)
            InvalidateRect(nullptr);
        return;
    }
    bool resized = newRect.Width() != m_rect.Width() || newRect.Height() != m_rect.Height();
    m_rect = newRect;
    if (resized)
        m_frame->Resize(width, height);
    if (m_hostWindow) {
        if (resized)
            m_hostWindow->Resize(width, height);
        m_hostWindow->Move(x, y);
    }
    if (repaint || resized)
        InvalidateRect(nullptr);
}

CWnd* CWnd::GetTopLevelWindow()
{
    CWnd* window = this;
    while (window->m_parent)
        window = window->m_parent;
    return window;
}

CWnd* CWnd::GetDlgItem(UINT id) const
{
    for (CWnd* child : m_children) {
        if (child->m_id == id)
            return child;
    }
    return nullptr;
}

void CWnd::InvalidateRect(const CRect* rect, bool)
{
    if (!m_hWnd)
        return;
    CRect area = rect ? *rect : GetClientRect();
    area = area.Intersect(GetClientRect());
    CPoint origin = OriginInTopLevel();
    CWnd* top = GetTopLevelWindow();
    if (!top->m_frame)
        return;
    top->m_invalid = top->m_invalid.Union(area.Offset(origin.x, origin.y).Intersect(top->m_frame->Bounds()));
}

void CWnd::UpdateWindow()
{
    CWnd* top = GetTopLevelWindow();
    if (top->m_invalid.IsEmpty())
        return;
    CRect invalid = top->m_invalid;
    top->m_invalid = {};
    top->PaintAndPresent(invalid);
}

void CWnd::RedrawNow(const CRect& rect)
{
    if (!m_hWnd)
        return;
    CPoint origin = OriginInTopLevel();
    GetTopLevelWindow()->PaintAndPresent(rect.Intersect(GetClientRect()).Offset(origin.x, origin.y));
}

void CWnd::PaintAllInvalid()
{
    for (CWnd* window : std::vector<CWnd*>(TopLevels()))
        window->UpdateWindow();
}

void CWnd::PaintAndPresent(const CRect& rect)
{
    if (!m_frame)
        return;
    CRect clip = rect.Intersect(m_frame->Bounds());
    if (clip.IsEmpty())
        return;
    PaintTree(*this, *m_frame, clip, {}, false);
    PaintTree(*this, *m_frame, clip, {}, true);
    if (m_hostWindow)
        m_hostWindow->Present(ViewOf(*m_frame), ToHostRect(clip));
}

void CWnd::PaintTree(CWnd& window, Framebuffer& frame, const CRect& clip, CPoint origin, bool overlay)
{
    CRect bounds = window.GetClientRect().Offset(origin.x, origin.y);
    // Overlays may reach outside their window; they are held only by the window's frame.
    CRect area = overlay ? clip : clip.Intersect(bounds);
    if (area.IsEmpty())
        return;
    PaintContext context { frame, area, origin };
    if (overlay)
        window.OnPaintOverlay(context);
    else
        window.OnPaint(context);
    for (CWnd* child : window.m_children) {
        if (!child->m_visible)
            continue;
        PaintTree(*child, frame, area, { origin.x + child->m_rect.left, origin.y + child->m_rect.top }, overlay);
    }
}

void CWnd::OnPaint(PaintContext&)
{
}

void CWnd::OnPaintOverlay(PaintContext&)
{
}

bool CWnd::HitTest(CPoint point) const
{
    return GetClientRect().Contains(point.x, point.y);
}

void CWnd::SetFocus()
{
    CWnd* top = GetTopLevelWindow();
    CWnd* focus = this == top ? nullptr : this;
    CWnd* old = top->m_focus;
    if (old == focus)
        return;
    top->m_focus = focus;
    if (old)
        old->SendMessage(WM_KILLFOCUS, 0, 0);
    if (focus)
        focus->SendMessage(WM_SETFOCUS, 0, 0);
}

CWnd* CWnd::GetFocusChild() const
{
    return m_focus;
}

void CWnd::SetCapture()
{
    g_capture = this;
}

void CWnd::ReleaseCapture()
{
    g_capture = nullptr;
}

CWnd* CWnd::GetCapture()
{
    return g_capture;
}

void CWnd::SetForegroundWindow()
{
    CWnd* top = GetTopLevelWindow();
    if (top->m_hostWindow)
        top->m_hostWindow->Raise();
}

CWnd* CWnd::FindTopLevelWindow(const std::wstring& caption)
{
    for (CWnd* window : TopLevels()) {
        if (window->m_text == caption)
            return window;
    }
    return nullptr;
}

std::vector<CWnd*> CWnd::TopLevelWindows()
{
    return TopLevels();
}

void CWnd::EnsureHostWindow()
{
    if (m_hostWindow || !IsTopLevel())
        return;
    CWinApp* app = AfxGetApp();
    if (!app)
        return;
    platform::HostWindowSpec spec;
    spec.caption = m_text;
    spec.instanceName = m_instanceName;
    spec.rect = ToHostRect(m_rect);
    spec.scale = m_scale;
    // A dialog stays with its owner on screen; over a hidden owner (the hidden selection) it
    // stands alone, since window managers may keep a hidden owner's dialogs out of sight too.
    if (m_owner && m_owner->IsWindowVisible())
        spec.transientFor = m_owner->m_hostWindow.get();
    m_hostWindow = app->GetHost().CreateHostWindow(spec, *this);
    if (m_hostWindow && !m_accessibleTree.nodes.empty())
        m_hostWindow->PublishAccessibility(m_accessibleTree, {});
}

bool CWnd::IsAccessibilityWanted() const
{
    const CWnd* top = this;
    while (top->m_parent)
        top = top->m_parent;
    return top->m_hostWindow && top->m_hostWindow->WantsAccessibility();
}

void CWnd::PublishAccessibility(platform::AccessibleTree tree, const std::vector<platform::AccessibleEvent>& events)
{
    m_accessibleTree = std::move(tree);
    if (m_hostWindow)
        m_hostWindow->PublishAccessibility(m_accessibleTree, events);
}

void CWnd::OnHostCloseRequest()
{
    SendMessage(WM_CLOSE, 0, 0);
}

CWnd* CWnd::ChildAt(CPoint point)
{
    for (auto it = m_children.rbegin(); it != m_children.rend(); ++it) {
        CWnd* child = *it;
        if (!child->m_visible || !child->m_enabled)
            continue;
        CPoint local { point.x - child->m_rect.left, point.y - child->m_rect.top };
        if (child->HitTest(local))
            return child->ChildAt(local);
    }
    return this;
}

void CWnd::RouteMouse(UINT message, CPoint point)
{
    CWnd* target = g_capture && g_capture->GetTopLevelWindow() == this ? g_capture : ChildAt(point);
    if (message == WM_MOUSEMOVE && target != m_hover) {
        CWnd* old = m_hover;
        m_hover = target;
        if (old)
            old->SendMessage(WM_MOUSELEAVE, 0, 0);
    }
    CPoint origin = target->OriginInTopLevel();
    MSG msg { target->m_hWnd, message, 0,
        MAKELPARAM(static_cast<UINT>(point.x - origin.x), static_cast<UINT>(point.y - origin.y)) };
    for (CWnd* window = target; window; window = window->m_parent) {
        if (window->PreTranslateMessage(msg))
            return;
    }
    if (CWinApp* app = AfxGetApp(); app && app->PreTranslateMessage(msg))
        return;
    if (CWnd* window = FromHandle(msg.hwnd))
        window->SendMessage(msg.message, msg.wParam, msg.lParam);
}

void CWnd::RouteKey(UINT message, UINT key)
{
    CWnd* target = m_focus ? m_focus : this;
    MSG msg { target->m_hWnd, message, key, 0 };
    for (CWnd* window = target; window; window = window->m_parent) {
        if (window->PreTranslateMessage(msg))
            return;
        if (!FromHandle(msg.hwnd))
            return;
    }
    if (CWinApp* app = AfxGetApp(); app && app->PreTranslateMessage(msg))
        return;
    if (CWnd* window = FromHandle(msg.hwnd))
        window->SendMessage(msg.message, msg.wParam, msg.lParam);
}

void CWnd::OnHostInput(const platform::HostInput& input)
{
    using Kind = platform::HostInput::Kind;
    CWinApp* app = AfxGetApp();
    if (!app || !m_hWnd)
        return;
    // A reader's request is no input of the user's: it says nothing of the keys held.
    if (input.kind == Kind::AccessibilityRequested) {
        OnAccessibilityRequested();
        return;
    }
    app->SetKeyDown(VK_CONTROL, input.ctrl);
    app->SetKeyDown(VK_MENU, input.alt);
    app->SetKeyDown(VK_SHIFT, input.shift);

    switch (input.kind) {
    case Kind::CloseRequest:
        if (IsWindowEnabled())
            OnHostCloseRequest();
        return;
    case Kind::Exposed:
        PaintAndPresent(m_frame->Bounds());
        return;
    case Kind::FocusOut:
        for (UINT key = 0; key < 256; ++key)
            app->SetKeyDown(key, false);
        return;
    case Kind::Iconified:
    case Kind::Restored:
        // Without this the next SW_MINIMIZE after a restore by the desktop would look like no
        // change and never reach the host. A hidden window stays hidden whatever the OS says.
        if (m_visible)
            m_minimized = input.kind == Kind::Iconified;
        return;
    case Kind::ScaleChanged: {
        if (input.scale == m_scale || input.scale <= 0)
            return;
        m_scale = input.scale;
        auto dpi = static_cast<UINT>(input.scale * 96 + 0.5);
        CRect suggested { input.rect.x, input.rect.y, input.rect.x + input.rect.width, input.rect.y + input.rect.height };
        SendMessage(WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&suggested));
        return;
    }
    case Kind::AccessibilityRequested:
        return; // above
    case Kind::AccessibleAction:
        // As for a click: nothing reaches a window a modal dialog has disabled.
        if (IsWindowEnabled())
            OnAccessibleAction(input.node);
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
        if (!IsWindowEnabled())
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
        if (!IsWindowEnabled())
            return;
        // Alt without Ctrl makes a system key, as on Windows.
        bool system = input.alt && !input.ctrl;
        RouteKey(down ? (system ? WM_SYSKEYDOWN : WM_KEYDOWN) : (system ? WM_SYSKEYUP : WM_KEYUP), input.key);
        return;
    }
    }
}
