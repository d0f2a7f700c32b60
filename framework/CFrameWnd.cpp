#include "framework/CFrameWnd.h"

#include "framework/CWinApp.h"

IMPLEMENT_MESSAGE_MAP(CFrameWnd, CWnd, OnWmCreate(&CFrameWnd::OnCreate))

bool CFrameWnd::LoadFrame(UINT resourceId, UINT style, CWnd* parent, void*)
{
    m_resourceId = resourceId;
    CREATESTRUCT cs;
    cs.style = style;
    cs.cx = 640;
    cs.cy = 480;
    cs.parent = parent;
    if (CWinApp* app = AfxGetApp())
        cs.name = app->m_pszAppName;
    if (!PreCreateWindow(cs))
        return false;
    m_style = cs.style;
    return CreateTopLevel(cs, parent);
}

int CFrameWnd::OnCreate(CREATESTRUCT*)
{
    return 0;
}

void CFrameWnd::PostNcDestroy()
{
    // The framework owns frame windows: the object goes with its window.
    delete this;
}
