#pragma once

#include "framework/Types.h"

class CWnd;
class CzCanvas;

// Redraws a canvas window's statics on request.
class CzFActionRelay {
public:
    explicit CzFActionRelay(CWnd* window);
    virtual ~CzFActionRelay() = default;

    // Repaints static `id` now; its text is asked through the window's fnAcquireText.
    bool fnDrawStatic(UINT id, bool redraw);

private:
    CzCanvas* m_canvas = nullptr;
};
