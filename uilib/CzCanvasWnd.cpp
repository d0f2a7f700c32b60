#include "uilib/CzCanvasWnd.h"

IMPLEMENT_MESSAGE_MAP(CzCanvasWnd, CFrameWnd,
    OnWmCreate(&CzCanvasWnd::OnCreate),
    OnWmDestroy(&CzCanvasWnd::OnDestroy))

CzCanvasWnd::CzCanvasWnd()
    : CzCanvas(static_cast<CWnd&>(*this))
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
