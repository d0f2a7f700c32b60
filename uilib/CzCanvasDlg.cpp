#include "uilib/CzCanvasDlg.h"

IMPLEMENT_MESSAGE_MAP(CzCanvasDlg, CDialog, OnWmDestroy(&CzCanvasDlg::OnDestroy))

CzCanvasDlg::CzCanvasDlg(CWnd* parent, UINT templateId)
    : CDialog(templateId, parent)
    , CzCanvas(static_cast<CWnd&>(*this))
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
