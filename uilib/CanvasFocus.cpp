#include "uilib/CanvasFocus.h"

#include "uilib/CzButton.h"
#include "uilib/CzCanvas.h"
#include "uilib/SkinPainter.h"

#include <algorithm>
#include <vector>

CanvasFocus::CanvasFocus(CzCanvas& canvas)
    : m_canvas(canvas)
{
}

bool CanvasFocus::SetOn(UINT id)
{
    CWnd* control = m_canvas.Window().GetDlgItem(id);
    if (!control || !IsFocusable(*control))
        return false;
    Set(id);
    return true;
}

void CanvasFocus::LoseFrom(UINT id)
{
    if (m_focusId == id)
        Set(0);
}

void CanvasFocus::ForgetUnfocusable()
{
    if (!m_focusId)
        return;
    CWnd* focused = m_canvas.Window().GetDlgItem(m_focusId);
    if (!focused || !IsFocusable(*focused))
        m_focusId = 0;
}

void CanvasFocus::OnWindowShown()
{
    CWnd& window = m_canvas.Window();
    if (m_focusId) {
        CWnd* focused = window.GetDlgItem(m_focusId);
        if (focused && IsFocusable(*focused))
            return;
    }
    const WindowSkin* skin = m_canvas.Skin();
    if (!skin)
        return;
    int header = skin->Layout().headerHeight;
    UINT first = 0;
    for (UINT id : m_canvas.ReadingOrderIds()) {
        if (!IsTabStop(id))
            continue;
        CWnd* control = window.GetDlgItem(id);
        if (control->GetRelativeRect().top >= header) {
            first = id;
            break;
        }
        if (!first)
            first = id; // only the header band has controls: its first one
    }
    if (first)
        Set(first);
}

bool CanvasFocus::IsFocusable(CWnd& control) const
{
    return control.IsWindowVisible() && control.IsWindowEnabled();
}

void CanvasFocus::Set(UINT id)
{
    CWnd& window = m_canvas.Window();
    UINT old = m_focusId;
    m_focusId = id;
    if (CWnd* previous = old ? window.GetDlgItem(old) : nullptr)
        previous->InvalidateRect(nullptr);
    CWnd* control = id ? window.GetDlgItem(id) : nullptr;
    if (control) {
        control->SetFocus();
        control->InvalidateRect(nullptr);
    } else {
        window.SetFocus();
    }
    // The focus ring lies just outside a button: repaint the area around it too.
    for (UINT changed : { old, id }) {
        if (CzButton* button = m_canvas.FindButton(changed)) {
            CRect ring = SkinPainter::FocusBounds(*m_canvas.Skin(), button->Layout().rect);
            window.InvalidateRect(&ring);
        }
    }
}

bool CanvasFocus::IsTabStop(UINT id) const
{
    if (!m_canvas.FindButton(id) && !m_canvas.FindDropList(id))
        return false;
    CWnd* control = m_canvas.Window().GetDlgItem(id);
    return control && IsFocusable(*control);
}

// Tab goes through the buttons and lists in reading order, as a screen reader reads them;
// from a focused static it goes on to the control after (or before) it.
void CanvasFocus::MoveInReadingOrder(bool backwards)
{
    const std::vector<UINT>& order = m_canvas.ReadingOrderIds();
    std::size_t count = order.size();
    if (count == 0) {
        Set(0);
        return;
    }
    auto current = std::find(order.begin(), order.end(), m_focusId);
    std::size_t start = 0;
    if (m_focusId && current != order.end())
        start = static_cast<std::size_t>(current - order.begin());
    else
        start = backwards ? 0 : count - 1; // no focus: Tab takes the first, Shift+Tab the last
    for (std::size_t step = 1; step <= count; ++step) {
        std::size_t index = backwards ? (start + count - step) % count : (start + step) % count;
        if (IsTabStop(order[index])) {
            Set(order[index]);
            return;
        }
    }
    Set(0);
}
