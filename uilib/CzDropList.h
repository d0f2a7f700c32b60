#pragma once

#include "framework/CWnd.h"
#include "uilib/AccessibleControl.h"
#include "uilib/WindowLayout.h"

#include <string>
#include <vector>

class CzCanvas;

// A drop-down list answering the combo-box messages with their Win32 results. It opens on a
// click, picks with the mouse or Up/Down/Enter, and closes with Escape or a click outside.
class CzDropList : public CWnd, public AccessibleControl {
public:
    CzDropList(CzCanvas& canvas, const DropListLayout& layout);

    bool Create();
    // The same list in a layout at another scale (the window's scale changed).
    void SetLayout(const DropListLayout& layout);
    bool IsOpen() const { return m_open; }
    const std::vector<std::wstring>& Items() const { return m_items; }
    int Selection() const { return m_selection; }
    void Open();
    void Close();

    int HotItem() const { return m_hot; }
    // The list's node, its chosen item as name and value; then one node per item.
    void DescribeAccessible(platform::AccessibleTree& tree, CPoint windowOrigin) const override;
    // The list opens or closes; an item is chosen and the list closes.
    bool DoAccessibleAction(std::uint32_t node) override;

    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    bool PreTranslateMessage(MSG& msg) override;

protected:
    void OnPaint(PaintContext& context) override;
    void OnPaintOverlay(PaintContext& context) override;
    bool HitTest(CPoint point) const override;

private:
    CRect PopupRect() const; // client coordinates
    int ItemAt(CPoint point) const;
    void MoveHot(int delta);
    void Select(int index);
    void InvalidatePopup();
    void ScrollToHot();

    CzCanvas& m_canvas;
    const DropListLayout* m_layout;
    std::vector<std::wstring> m_items;
    int m_selection = -1;
    bool m_open = false;
    int m_hot = -1;
    int m_firstVisible = 0;
    CRect m_openedPopup;
};
