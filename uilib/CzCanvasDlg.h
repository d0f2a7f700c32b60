#pragma once

#include "framework/CDialog.h"
#include "uilib/CzCanvas.h"

// The skinned dialog: the script supplies the layout, so the template is always 0.
class CzCanvasDlg : public CDialog, public CzCanvas {
public:
    CzCanvasDlg(CWnd* parent, UINT templateId = 0);

    bool OnInitDialog() override;
    bool PreTranslateMessage(MSG& msg) override;

    DECLARE_MESSAGE_MAP()

protected:
    void OnDestroy();
    void OnPaint(PaintContext& context) override;
    LRESULT OnDpiChanged(WPARAM wParam, LPARAM lParam);
    LRESULT OnShowWindowMessage(WPARAM shown, LPARAM);
    void OnAccessibleAction(std::uint32_t node) override;
    void OnAccessibilityRequested() override { RefreshAccessibility(); }
};
