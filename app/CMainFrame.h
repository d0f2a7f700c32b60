#pragma once

#include "shared/CUITxtCtrl.h"
#include "uilib/CzCanvasWnd.h"

#include <memory>

// The launcher: exit, minimise, the recovery stick, the user manual, the configured program,
// and the hidden model and OS selection on Ctrl+Alt+Q or Ctrl+Alt+F2.
class CMainFrame : public CzCanvasWnd {
public:
    CMainFrame() = default;
    ~CMainFrame() override = default;

    bool PreCreateWindow(CREATESTRUCT& cs) override;
    bool PreTranslateMessage(MSG& msg) override;
    std::wstring fnAcquireText(UINT id) override;
    const Image* fnAcquireImage(UINT) override { return nullptr; }
    const Image* fnAcquireIcon(UINT) override { return nullptr; }

    DECLARE_MESSAGE_MAP()

protected:
    int OnCreate(CREATESTRUCT* cs);
    void OnDestroy();
    void OnExit();
    void OnMinimize();
    void OnRecovery();
    void OnUserManual();
    void OnConfiguredProgram();

private:
    void CenterOnScreen();
    void RunModelAndOsSelection();

    std::unique_ptr<CUITxtCtrl> m_pTxtCtrl;
};
