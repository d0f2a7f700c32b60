#pragma once

#include "framework/CWnd.h"

// A frame window: the application's main window. It deletes itself once destroyed.
class CFrameWnd : public CWnd {
public:
    CFrameWnd() = default;

    // Creates the frame from its resource set: PreCreateWindow, then the window (WM_CREATE).
    // The caption starts as the application's title.
    virtual bool LoadFrame(UINT resourceId, UINT style, CWnd* parent = nullptr, void* context = nullptr);
    UINT GetStyle() const { return m_style; }
    UINT GetResourceId() const { return m_resourceId; }

    DECLARE_MESSAGE_MAP()

protected:
    int OnCreate(CREATESTRUCT* cs);
    void OnDestroy() { }
    void PostNcDestroy() override;

private:
    UINT m_style = 0;
    UINT m_resourceId = 0;
};
