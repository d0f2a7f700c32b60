#include "uilib/CzCanvasWnd.h"

#include "framework/Messages.h"

IMPLEMENT_MESSAGE_MAP(CzCanvasWnd, CFrameWnd,
    OnWmCreate(&CzCanvasWnd::OnCreate),
    OnWmDestroy(&CzCanvasWnd::OnDestroy),
    OnMessage(WM_DPICHANGED, &CzCanvasWnd::OnDpiChanged),
    OnMessage(WM_SHOWWINDOW, &CzCanvasWnd::OnShowWindowMessage))

CzCanvasWnd::CzCanvasWnd()
    : CzCanvas(static_cast<CWnd&>(*this), platform::AccessibleRole::Frame)
{
}

bool CzCanvasWnd::PreCreateWindow(CREATESTRUCT& cs)
{
    return CFrameWnd::PreCreateWindow(cs);
}

bool CzCanvasWnd::PreTranslateMessage(MSG& msg)
{
    if (HandleCanvasKey(msg))
        return true;
    return CFrameWnd::PreTranslateMessage(msg);
}

int CzCanvasWnd::OnCreate(CREATESTRUCT* cs)
{
    return CFrameWnd::OnCreate(cs);
}

void CzCanvasWnd::OnDestroy()
{
    CFrameWnd::OnDestroy();
}

void CzCanvasWnd::OnPaint(PaintContext& context)
{
    PaintBackground(context);
}

LRESULT CzCanvasWnd::OnDpiChanged(WPARAM, LPARAM lParam)
{
    OnScaleChanged(*reinterpret_cast<const CRect*>(lParam));
    return 0;
}

void CzCanvasWnd::OnAccessibleAction(std::uint32_t node)
{
    DoAccessibleAction(node);
}

LRESULT CzCanvasWnd::OnShowWindowMessage(WPARAM shown, LPARAM)
{
    if (shown)
        OnCanvasShown();
    return 0;
}
