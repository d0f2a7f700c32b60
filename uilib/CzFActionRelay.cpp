#include "uilib/CzFActionRelay.h"

#include "uilib/CzCanvas.h"

CzFActionRelay::CzFActionRelay(CWnd* window)
    : m_canvas(dynamic_cast<CzCanvas*>(window))
{
}

bool CzFActionRelay::fnDrawStatic(UINT id, bool redraw)
{
    if (!m_canvas)
        return false;
    if (redraw)
        m_canvas->RedrawStatic(id);
    else if (CWnd* label = m_canvas->fnGetDlgItem(id))
        label->InvalidateRect(nullptr);
    return true;
}
