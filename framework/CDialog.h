#pragma once

#include "framework/CWnd.h"

// A modal dialog: DoModal creates it as its own top-level window owned by the parent's,
// disables the owner and runs a nested loop on the UI thread until EndDialog.
class CDialog : public CWnd {
public:
    explicit CDialog(UINT templateId = 0, CWnd* parent = nullptr);
    ~CDialog() override;

    // IDOK / IDCANCEL / whatever EndDialog was given; -1 when the window could not be created.
    virtual int DoModal();
    void EndDialog(int result);
    bool IsModalLoopRunning() const { return m_inModalLoop; }
    int GetModalResult() const { return m_modalResult; }

    virtual bool OnInitDialog() { return true; }
    virtual void OnOK() { EndDialog(IDOK); }
    virtual void OnCancel() { EndDialog(IDCANCEL); }

    // Escape -> OnCancel, Enter -> OnOK.
    bool PreTranslateMessage(MSG& msg) override;

    DECLARE_MESSAGE_MAP()

protected:
    LRESULT OnInitDialogMessage(WPARAM, LPARAM);
    LRESULT OnClose(WPARAM, LPARAM);
    CWnd* m_pParentWnd = nullptr;

private:
    UINT m_templateId = 0;
    bool m_ended = false;
    bool m_inModalLoop = false;
    int m_modalResult = -1;
};
