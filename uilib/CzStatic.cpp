#include "uilib/CzStatic.h"

#include "uilib/CzCanvas.h"
#include "uilib/Painter.h"
#include "uilib/SkinPainter.h"

CzStatic::CzStatic(CzCanvas& canvas, const StaticLayout& layout)
    : m_canvas(canvas)
    , m_layout(&layout)
{
}

bool CzStatic::Create()
{
    return CreateChild(m_canvas.Window(), static_cast<UINT>(m_layout->id), m_layout->rect, m_layout->visible);
}

void CzStatic::SetLayout(const StaticLayout& layout)
{
    m_layout = &layout;
    MoveWindow(layout.rect.left, layout.rect.top, layout.rect.Width(), layout.rect.Height(), true);
}

std::wstring CzStatic::CurrentText() const
{
    if (m_layout->hasFixedText)
        return m_layout->text;
    return m_canvas.fnAcquireText(static_cast<UINT>(m_layout->textId ? m_layout->textId : m_layout->id));
}

void CzStatic::DescribeAccessible(platform::AccessibleTree& tree, CPoint windowOrigin) const
{
    platform::AccessibleNode node;
    node.id = GetDlgCtrlID();
    node.role = platform::AccessibleRole::Label;
    node.name = CurrentText();
    CRect rect = m_layout->rect.Offset(windowOrigin.x, windowOrigin.y);
    node.rect = { rect.left, rect.top, rect.Width(), rect.Height() };
    namespace State = platform::AccessibleState;
    // A static is focused only when the program puts the focus on it (fnSetFocus).
    bool focused = m_canvas.FocusedControl() == GetDlgCtrlID();
    node.states = (IsWindowVisible() ? 0 : State::Invisible) | (focused ? State::Focusable | State::Focused : 0);
    tree.nodes.push_back(std::move(node));
}

void CzStatic::OnPaint(PaintContext& context)
{
    const WindowSkin* skin = m_canvas.Skin();
    if (!skin)
        return;
    Painter painter(context.frame);
    Painter::ScopedClip clip(painter, context.clip);
    SkinPainter(painter, *skin).PaintStatic(*m_layout, CurrentText());
}
