#include "uilib/CzCanvasDlg.h"

#include "framework/Messages.h"

IMPLEMENT_MESSAGE_MAP(CzCanvasDlg, CDialog, OnWmDestroy(&CzCanvasDlg::OnDestroy),
    OnMessage(WM_DPICHANGED, &CzCanvasDlg::OnDpiChanged),
    OnMessage(WM_SHOWWINDOW, &CzCanvasDlg::OnShowWindowMessage))

CzCanvasDlg::CzCanvasDlg(CWnd* parent, UINT templateId)
    : CDialog(templateId, parent)
    , CzCanvas(static_cast<CWnd&>(*this), platform::AccessibleRole::Dialog)
{
}

bool CzCanvasDlg::OnInitDialog()
{
    return CDialog::OnInitDialog();
}

bool CzCanvasDlg::PreTranslateMessage(MSG& msg)
{
    if (HandleCanvasKey(msg))
        return true;
    return CDialog::PreTranslateMessage(msg);
}

void CzCanvasDlg::OnDestroy()
{
}

void CzCanvasDlg::OnPaint(PaintContext& context)
{
    PaintBackground(context);
}

LRESULT CzCanvasDlg::OnDpiChanged(WPARAM, LPARAM lParam)
{
    OnScaleChanged(*reinterpret_cast<const CRect*>(lParam));
    return 0;
}

void CzCanvasDlg::OnAccessibleAction(std::uint32_t node)
{
    DoAccessibleAction(node);
}

LRESULT CzCanvasDlg::OnShowWindowMessage(WPARAM shown, LPARAM)
{
    if (shown)
        OnCanvasShown();
    return 0;
}
