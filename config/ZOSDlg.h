#pragma once

#include "config/ZSelectionDlg.h"

// Picks the operating system: up to five entries of [OS], the choice lands in g_szOS.
class ZOSDlg : public ZSelectionDlg {
public:
    explicit ZOSDlg(CWnd* parent);

    DECLARE_MESSAGE_MAP()
};
