#pragma once

#include "framework/CFrameWnd.h"
#include "uilib/CzCanvas.h"

// The skinned frame window: everything it shows comes from its script section.
class CzCanvasWnd : public CFrameWnd, public CzCanvas {
public:
    CzCanvasWnd();

    bool PreCreateWindow(CREATESTRUCT& cs) override;
    bool PreTranslateMessage(MSG& msg) override;

    DECLARE_MESSAGE_MAP()

protected:
    int OnCreate(CREATESTRUCT* cs);
    void OnDestroy();
    void OnPaint(PaintContext& context) override;
    LRESULT OnDpiChanged(WPARAM wParam, LPARAM lParam);
    LRESULT OnShowWindowMessage(WPARAM shown, LPARAM);
    void OnAccessibleAction(std::uint32_t node) override;
    void OnAccessibilityRequested() override { RefreshAccessibility(); }
};
