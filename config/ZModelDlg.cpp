#include "config/ZModelDlg.h"

#include "shared/Globals.h"

namespace {
const SelectionDialogKind kModelKind {
    L"ModelFrm", L"Model", 4, 1101, true, 5, { CPoint { 0, 0 }, CPoint { 0, 5 }, CPoint { 0, 0 }, CPoint { 0, 0 } }, g_szModel
};
}

IMPLEMENT_MESSAGE_MAP(ZModelDlg, CzCanvasDlg,
    OnWmDestroy(&ZModelDlg::OnDestroy),
    OnBnClicked(1001, &ZModelDlg::OnCloseButton),
    OnBnClickedRange(1101, 1104, &ZModelDlg::OnEntryButtonId))

ZModelDlg::ZModelDlg(CWnd* parent)
    : ZSelectionDlg(parent, kModelKind)
{
}
