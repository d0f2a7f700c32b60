#pragma once

#include "framework/CWnd.h"
#include "uilib/AccessibleControl.h"
#include "uilib/SkinPainter.h"

#include <optional>

class CzCanvas;

// A script button: hover and press feedback, BN_CLICKED to the window on a release inside.
class CzButton : public CWnd, public AccessibleControl {
public:
    CzButton(CzCanvas& canvas, const ButtonLayout& layout);

    bool Create();
    // The same button in a layout at another scale (the window's scale changed).
    void SetLayout(const ButtonLayout& layout);
    void SetCaption(std::wstring caption);
    const std::wstring& Caption() const { return m_caption; }
    void SetFaceText(FaceText faceText);
    const FaceText* GetFaceText() const { return m_faceText ? &*m_faceText : nullptr; }
    FaceState CurrentFace() const;
    const ButtonLayout& Layout() const { return *m_layout; }
    // Sends BN_CLICKED as a click would.
    void Activate();

    // What it says to a screen reader: the name the program gave it for that, else the text on
    // its face, else its caption.
    const std::wstring& AccessibleName() const;
    void SetAccessibleName(std::wstring name) { m_accessibleName = std::move(name); }
    void DescribeAccessible(platform::AccessibleTree& tree, CPoint windowOrigin) const override;
    bool DoAccessibleAction(std::uint32_t node) override;

    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

protected:
    void OnPaint(PaintContext& context) override;
    bool HitTest(CPoint point) const override;

private:
    bool InsideFace(CPoint point) const;
    CRect WindowBounds() const;

    CzCanvas& m_canvas;
    const ButtonLayout* m_layout;
    std::wstring m_caption;
    std::optional<FaceText> m_faceText;
    std::wstring m_accessibleName;
    bool m_hover = false;
    bool m_pressed = false;
};
