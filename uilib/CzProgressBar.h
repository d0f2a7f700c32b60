#pragma once

#include "framework/CWnd.h"
#include "uilib/AccessibleControl.h"
#include "uilib/WindowLayout.h"

#include <optional>

class CzCanvas;

// A progress bar answering PBM_SETRANGE, PBM_SETPOS (clamped to the range), PBM_GETPOS and
// the colour messages. The skin draws the track; a colour the program sends, with
// PBM_SETBKCOLOR or PBM_SETBARCOLOR, is the colour of the done part, so the bar keeps a light
// track and reads at a glance however the skin is coloured.
class CzProgressBar : public CWnd, public AccessibleControl {
public:
    CzProgressBar(CzCanvas& canvas, const ProgressLayout& layout);

    bool Create();
    // The same bar in a layout at another scale (the window's scale changed).
    void SetLayout(const ProgressLayout& layout);
    int Position() const { return m_position; }
    int Low() const { return m_low; }
    int High() const { return m_high; }

    // Its value as a screen reader says it: the share of the range done, "42%".
    std::wstring PercentText() const;
    void DescribeAccessible(platform::AccessibleTree& tree, CPoint windowOrigin) const override;
    bool DoAccessibleAction(std::uint32_t) override { return false; }

    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

protected:
    void OnPaint(PaintContext& context) override;
    bool HitTest(CPoint) const override { return false; }

private:
    CzCanvas& m_canvas;
    ProgressLayout m_layout;
    int m_low = 0;
    int m_high = 100;
    int m_position = 0;
    std::optional<std::uint32_t> m_barColor;
};
