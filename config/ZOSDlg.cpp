#include "config/ZOSDlg.h"

#include "shared/Globals.h"

namespace {
const SelectionDialogKind kOsKind {
    L"OSFrm", L"OS", 5, 1111, false, 6, { CPoint { 0, 3 }, CPoint { 0, 8 }, CPoint { 0, 3 }, CPoint { 0, 3 } }, g_szOS
};
}

IMPLEMENT_MESSAGE_MAP(ZOSDlg, CzCanvasDlg,
    OnWmDestroy(&ZOSDlg::OnDestroy),
    OnBnClickedRange(1111, 1115, &ZOSDlg::OnEntryButtonId),
    OnBnClicked(1001, &ZOSDlg::OnCloseButton))

ZOSDlg::ZOSDlg(CWnd* parent)
    : ZSelectionDlg(parent, kOsKind)
{
}
