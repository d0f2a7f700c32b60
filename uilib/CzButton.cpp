#include "uilib/CzButton.h"

#include "framework/Messages.h"
#include "uilib/CzCanvas.h"
#include "uilib/Painter.h"

CzButton::CzButton(CzCanvas& canvas, const ButtonLayout& layout)
    : m_canvas(canvas)
    , m_layout(&layout)
    , m_caption(layout.caption)
{
}

bool CzButton::Create()
{
    // The window covers the focus ring around the face; input counts on the face alone.
    if (!CreateChild(m_canvas.Window(), static_cast<UINT>(m_layout->id), WindowBounds(), m_layout->visible))
        return false;
    if (!m_layout->enabled)
        EnableWindow(false);
    return true;
}

CRect CzButton::WindowBounds() const
{
    return SkinPainter::FocusBounds(*m_canvas.Skin(), m_layout->rect);
}

void CzButton::SetLayout(const ButtonLayout& layout)
{
    m_layout = &layout;
    CRect bounds = WindowBounds();
    MoveWindow(bounds.left, bounds.top, bounds.Width(), bounds.Height(), true);
}

void CzButton::SetCaption(std::wstring caption)
{
    m_caption = std::move(caption);
    InvalidateRect(nullptr);
}

void CzButton::SetFaceText(FaceText faceText)
{
    m_faceText = std::move(faceText);
    InvalidateRect(nullptr);
}

FaceState CzButton::CurrentFace() const
{
    if (!IsWindowEnabled())
        return FaceState::Disabled;
    if (m_pressed && m_hover)
        return FaceState::Pressed;
    if (m_hover)
        return FaceState::Hover;
    return FaceState::Normal;
}

bool CzButton::InsideFace(CPoint point) const
{
    CRect bounds = GetRelativeRect();
    CRect face = m_layout->rect.Offset(-bounds.left, -bounds.top);
    return face.Contains(point.x, point.y);
}

bool CzButton::HitTest(CPoint point) const
{
    return InsideFace(point);
}

void CzButton::Activate()
{
    if (!IsWindowVisible() || !IsWindowEnabled())
        return;
    if (CWnd* parent = GetParent())
        parent->SendMessage(WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(), BN_CLICKED), static_cast<LPARAM>(GetSafeHwnd()));
}

const std::wstring& CzButton::AccessibleName() const
{
    if (!m_accessibleName.empty())
        return m_accessibleName;
    if (m_faceText && !m_faceText->text.empty())
        return m_faceText->text;
    return m_caption;
}

void CzButton::DescribeAccessible(platform::AccessibleTree& tree, CPoint windowOrigin) const
{
    namespace State = platform::AccessibleState;
    platform::AccessibleNode node;
    node.id = GetDlgCtrlID();
    node.role = platform::AccessibleRole::PushButton;
    node.name = AccessibleName();
    CRect face = m_layout->rect.Offset(windowOrigin.x, windowOrigin.y);
    node.rect = { face.left, face.top, face.Width(), face.Height() };
    bool visible = IsWindowVisible();
    bool enabled = IsWindowEnabled();
    node.states = (visible ? 0 : State::Invisible) | (enabled ? 0 : State::Unavailable)
        | (visible && enabled ? State::Focusable : 0)
        | (m_canvas.FocusedControl() == GetDlgCtrlID() ? State::Focused : 0);
    node.action = platform::AccessibleAction::Press;
    tree.nodes.push_back(std::move(node));
}

bool CzButton::DoAccessibleAction(std::uint32_t node)
{
    if (node != GetDlgCtrlID() || !IsWindowVisible() || !IsWindowEnabled())
        return false;
    Activate();
    return true;
}

LRESULT CzButton::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    CPoint point { GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam) };
    switch (message) {
    case WM_MOUSEMOVE:
        if (bool inside = InsideFace(point); inside != m_hover) {
            m_hover = inside;
            InvalidateRect(nullptr);
        }
        return 0;
    case WM_MOUSELEAVE:
        if (m_hover) {
            m_hover = false;
            InvalidateRect(nullptr);
        }
        return 0;
    case WM_LBUTTONDOWN:
        m_pressed = true;
        m_hover = InsideFace(point);
        SetCapture();
        InvalidateRect(nullptr);
        return 0;
    case WM_LBUTTONUP: {
        if (!m_pressed)
            return 0;
        bool clicked = InsideFace(point);
        m_pressed = false;
        m_hover = clicked;
        ReleaseCapture();
        InvalidateRect(nullptr);
        // Last: the command may run a modal dialog or end this window.
        if (clicked)
            Activate();
        return 0;
    }
    case WM_ENABLE:
        if (!wParam)
            m_pressed = m_hover = false;
        return CWnd::WindowProc(message, wParam, lParam);
    default:
        return CWnd::WindowProc(message, wParam, lParam);
    }
}

void CzButton::OnPaint(PaintContext& context)
{
    const WindowSkin* skin = m_canvas.Skin();
    if (!skin)
        return;
    Painter painter(context.frame);
    Painter::ScopedClip clip(painter, context.clip);
    bool focused = m_canvas.FocusedControl() == GetDlgCtrlID();
    SkinPainter(painter, *skin).PaintButton(*m_layout, CurrentFace(), m_caption, GetFaceText(), focused);
}
