#include "framework/CWnd.h"

#include "framework/CWinApp.h"
#include "framework/Messages.h"
#include "framework/WindowRegistry.h"

#include <algorithm>

namespace {

// UI thread only.
CWnd::MessageSpy g_spy;

} // namespace

CWnd::CWnd()
    : m_input(*this)
    , m_host(*this)
{
}

CWnd::~CWnd()
{
    if (m_hWnd)
        DestroyTree();
}

CWnd* CWnd::FromHandle(WindowHandle handle)
{
    return WindowRegistry::The().Find(handle);
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
    m_hWnd = WindowRegistry::The().Add(*this);
    m_owner = owner ? owner->GetTopLevelWindow() : nullptr;
    // A dialog opens over its owner, so on the owner's screen.
    if (m_owner)
        m_scale = m_owner->m_scale;
    else if (CWinApp* app = AfxGetApp(); app && app->HasHost())
        m_scale = app->GetHost().WindowScale();
    m_rect = { cs.x, cs.y, cs.x + cs.cx, cs.y + cs.cy };
    m_text = cs.name;
    m_frame = std::make_unique<Framebuffer>(cs.cx, cs.cy);
    WindowRegistry::The().AddTopLevel(*this);
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
    m_hWnd = WindowRegistry::The().Add(*this);
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
    InputRouter::ReleaseCaptureWithin(*this);

    if (m_parent) {
        auto& siblings = m_parent->m_children;
        siblings.erase(std::remove(siblings.begin(), siblings.end(), this), siblings.end());
        m_parent->GetTopLevelWindow()->m_input.Forget(*this);
        if (m_visible)
            m_parent->InvalidateRect(&m_rect);
        m_parent = nullptr;
    } else {
        WindowRegistry::The().RemoveTopLevel(*this);
        m_host.Close();
    }
    WindowRegistry::The().Remove(m_hWnd);
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
        if (platform::HostWindow* hostWindow = m_host.Window())
            hostWindow->Show(platform::ShowState::Hidden);
        return wasVisible;
    }
    if (!wasVisible)
        SendMessage(WM_SHOWWINDOW, 1, 0);
    bool firstShow = !m_host.Window();
    m_host.Open();
    platform::HostWindow* hostWindow = m_host.Window();
    if (!hostWindow)
        return wasVisible;
    if (firstShow || !wasVisible)
        PaintAndPresent(m_frame->Bounds());
    if (!wasVisible || wasMinimized != m_minimized || firstShow)
        hostWindow->Show(m_minimized ? platform::ShowState::Minimised : platform::ShowState::Normal);
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
    if (!enable)
        InputRouter::ReleaseCaptureWithin(*this);
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
    if (platform::HostWindow* hostWindow = m_host.Window())
        hostWindow->SetCaption(text);
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
    if (platform::HostWindow* hostWindow = m_host.Window()) {
        if (resized)
            hostWindow->Resize(width, height);
        hostWindow->Move(x, y);
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
    for (CWnd* window : std::vector<CWnd*>(WindowRegistry::The().TopLevels()))
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
    m_host.Present(*m_frame, clip);
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
    top->m_input.SetFocus(focus);
}

CWnd* CWnd::GetFocusChild() const
{
    return m_input.Focus();
}

void CWnd::SetCapture()
{
    InputRouter::SetCapture(this);
}

void CWnd::ReleaseCapture()
{
    InputRouter::SetCapture(nullptr);
}

CWnd* CWnd::GetCapture()
{
    return InputRouter::Capture();
}

void CWnd::SetForegroundWindow()
{
    CWnd* top = GetTopLevelWindow();
    if (platform::HostWindow* hostWindow = top->m_host.Window())
        hostWindow->Raise();
}

CWnd* CWnd::FindTopLevelWindow(const std::wstring& caption)
{
    return WindowRegistry::The().FindTopLevel(caption);
}

std::vector<CWnd*> CWnd::TopLevelWindows()
{
    return WindowRegistry::The().TopLevels();
}

bool CWnd::IsAccessibilityWanted() const
{
    const CWnd* top = this;
    while (top->m_parent)
        top = top->m_parent;
    return top->m_host.WantsAccessibility();
}

void CWnd::PublishAccessibility(platform::AccessibleTree tree, const std::vector<platform::AccessibleEvent>& events)
{
    m_host.PublishAccessibility(std::move(tree), events);
}

void CWnd::OnHostCloseRequest()
{
    SendMessage(WM_CLOSE, 0, 0);
}
