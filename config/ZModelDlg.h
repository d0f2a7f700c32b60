#pragma once

#include "config/ZSelectionDlg.h"

// Picks the device model: up to four entries of [Model], the choice lands in g_szModel.
class ZModelDlg : public ZSelectionDlg {
public:
    explicit ZModelDlg(CWnd* parent);

    DECLARE_MESSAGE_MAP()
};
