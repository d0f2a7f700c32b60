#pragma once

#include "framework/CWnd.h"
#include "platform/HostAccessibility.h"
#include "uilib/CanvasAccessibility.h"
#include "uilib/CanvasFocus.h"
#include "uilib/WindowSkin.h"

#include <map>
#include <memory>
#include <string>
#include <vector>

class AccessibleControl;
class CzButton;
class CzDropList;
class CzProgressBar;
class CzStatic;
class Font;
class Image;

// What the canvas frame and the canvas dialog have in common: the window's skin section, its
// controls built from it, the operations the program calls on them, and the virtual slots
// through which the library asks the window for texts and pictures. Both bases mix it in.
class CzCanvas {
public:
    CzCanvas(CWnd& window, platform::AccessibleRole role);
    virtual ~CzCanvas();
    CzCanvas(const CzCanvas&) = delete;
    CzCanvas& operator=(const CzCanvas&) = delete;

    // Slots the library calls on the window, in this order.
    virtual std::wstring fnAcquireText(UINT id);
    virtual const Image* fnAcquireImage(UINT id);
    virtual const Image* fnAcquireMask(UINT id);
    virtual const Image* fnAcquireIcon(UINT id);

    // Loads `section` of `file` (a bare name, looked for beside the executable) and builds the
    // window's controls from it. Throws CException naming the file, line and reason.
    void fnParseScript(const std::wstring& file, const std::wstring& section, int reserved);
    bool fnChangeBtnText(UINT id, const wchar_t* text);
    bool fnShowBtn(UINT id, bool show, bool redraw);
    bool fnEnableBtn(UINT id, bool enable);
    bool fnShowStatic(UINT id, bool show, bool redraw);
    // Paints text onto the four faces of a button; offsets are one point per face state
    // (normal, hover, pressed, disabled).
    bool fnDrawBtnFace(UINT id, const std::wstring& text, COLORREF color, const Font* font, UINT format, const CPoint* offsets);
    const Font* fnGetFont(int index);
    CWnd* fnGetDlgItem(UINT id);
    bool fnShowWindow(int command);

    // Puts the keyboard focus on a shown control; a static takes it only this way (a text a
    // screen reader must hear, such as an outcome), buttons and lists also by Tab.
    bool fnSetFocus(UINT id);
    // The name a screen reader says for a button whose caption another button shares.
    bool fnSetAccessibleName(UINT id, const std::wstring& name);

    // Repaints one static now, asking its text through fnAcquireText.
    void RedrawStatic(UINT id);

    const WindowSkin* Skin() const { return m_skin.get(); }
    CWnd& Window() { return m_window; }
    CzButton* FindButton(UINT id) const;
    CzStatic* FindStatic(UINT id) const;
    CzDropList* FindDropList(UINT id) const;
    UINT FocusedControl() const { return m_focus.Control(); }
    // Every control in reading order (top to bottom, then left to right), and their IDs.
    const std::vector<AccessibleControl*>& ReadingOrder() const { return m_readingOrder; }
    const std::vector<UINT>& ReadingOrderIds() const { return m_readingOrderIds; }

    // The window's accessibility tree from its controls as they are now.
    platform::AccessibleTree BuildAccessibleTree() const { return m_accessibility.BuildTree(); }
    // Publishes the tree with what changed since the last time; every paint does it, so a
    // change a user can see reaches a screen reader with the frame that shows it.
    void RefreshAccessibility() { m_accessibility.Refresh(); }
    // A screen reader's default action on a node; false when the node has none now.
    bool DoAccessibleAction(std::uint32_t node) { return m_accessibility.DoAction(node); }

    // Where fnParseScript looks for scripts, fonts and images; by default the executable's folder.
    static void SetSkinFolder(const std::wstring& nativeFolder);
    static std::wstring SkinFolder();

protected:
    void PaintBackground(PaintContext& context);
    // WM_DPICHANGED: the skin again at the window's new scale, every control moved to its new
    // place with its state kept, and the window at `suggested`'s position with its new size.
    void OnScaleChanged(const CRect& suggested);
    // Tab / Shift+Tab focus, Space on the focused control. True when the key was used.
    bool HandleCanvasKey(const MSG& msg);
    // The window is shown: without a focused control, its first control in reading order
    // below the header band takes the focus, so a screen reader hears where the user is.
    void OnCanvasShown();

private:
    void BuildReadingOrder();
    void DropControls();

    CWnd& m_window;
    std::unique_ptr<WindowSkin> m_skin;
    std::map<UINT, std::unique_ptr<CzButton>> m_buttons;
    std::map<UINT, std::unique_ptr<CzStatic>> m_statics;
    std::map<UINT, std::unique_ptr<CzDropList>> m_dropLists;
    std::map<UINT, std::unique_ptr<CzProgressBar>> m_progressBars;
    CanvasFocus m_focus;
    CanvasAccessibility m_accessibility;
    std::vector<AccessibleControl*> m_readingOrder;
    std::vector<UINT> m_readingOrderIds;
};
