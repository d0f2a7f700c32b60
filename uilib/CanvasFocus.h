#pragma once

#include "framework/Types.h"

class CWnd;
class CzCanvas;

// Which control of a canvas window has the keyboard focus (and so the focus ring): Tab and
// Shift+Tab over the shown, enabled buttons and lists in reading order, the first control
// below the header band when the window opens, a static only when the program puts it there.
class CanvasFocus {
public:
    explicit CanvasFocus(CzCanvas& canvas);
    CanvasFocus(const CanvasFocus&) = delete;
    CanvasFocus& operator=(const CanvasFocus&) = delete;

    UINT Control() const { return m_focusId; }
    // The controls are gone (a new script): nobody has the focus.
    void Clear() { m_focusId = 0; }
    // Puts the focus on a shown, enabled control; false when it can't take it.
    bool SetOn(UINT id);
    // The control was hidden or disabled: when it had the focus, the window takes it back.
    void LoseFrom(UINT id);
    // Forgets a focused control that was hidden or disabled behind the canvas's back.
    void ForgetUnfocusable();
    // Tab (forwards) or Shift+Tab.
    void MoveInReadingOrder(bool backwards);
    // The window is shown: without a focused control, its first control in reading order
    // below the header band takes the focus, so a screen reader hears where the user is.
    void OnWindowShown();

private:
    void Set(UINT id);
    bool IsFocusable(CWnd& control) const;
    // A visible, enabled button or list: what Tab stops at.
    bool IsTabStop(UINT id) const;

    CzCanvas& m_canvas;
    UINT m_focusId = 0;
};
