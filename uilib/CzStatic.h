#pragma once

#include "framework/CWnd.h"
#include "uilib/AccessibleControl.h"
#include "uilib/WindowLayout.h"

class CzCanvas;

// A script static: its text is asked from the window at every paint. Mouse input passes through.
class CzStatic : public CWnd, public AccessibleControl {
public:
    CzStatic(CzCanvas& canvas, const StaticLayout& layout);

    bool Create();
    // The same static in a layout at another scale (the window's scale changed).
    void SetLayout(const StaticLayout& layout);
    std::wstring CurrentText() const;
    const CRect& Rect() const { return m_layout->rect; }

    void DescribeAccessible(platform::AccessibleTree& tree, CPoint windowOrigin) const override;
    bool DoAccessibleAction(std::uint32_t) override { return false; }

protected:
    void OnPaint(PaintContext& context) override;
    bool HitTest(CPoint) const override { return false; }

private:
    CzCanvas& m_canvas;
    const StaticLayout* m_layout;
};
