#pragma once

#include "framework/CWnd.h"
#include "uilib/WindowLayout.h"

class CzCanvas;

// A script static: its text is asked from the window at every paint. Mouse input passes through.
class CzStatic : public CWnd {
public:
    CzStatic(CzCanvas& canvas, const StaticLayout& layout);

    bool Create();
    // The same static in a layout at another scale (the window's scale changed).
    void SetLayout(const StaticLayout& layout);
    std::wstring CurrentText() const;

protected:
    void OnPaint(PaintContext& context) override;
    bool HitTest(CPoint) const override { return false; }

private:
    CzCanvas& m_canvas;
    const StaticLayout* m_layout;
};
