#pragma once

#include "framework/Framebuffer.h"
#include "framework/HostWindowLink.h"
#include "framework/InputRouter.h"
#include "framework/MessageMap.h"
#include "framework/Types.h"
#include "platform/Host.h"
#include "platform/HostAccessibility.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

class CWnd;

struct CREATESTRUCT {
    UINT style = 0;
    int x = 0;
    int y = 0;
    int cx = 0;
    int cy = 0;
    std::wstring name;
    CWnd* parent = nullptr;
};

// What a window paints into: the top-level window's frame, the rectangle being repainted and
// the window's own origin, both in frame coordinates.
struct PaintContext {
    Framebuffer& frame;
    CRect clip;
    CPoint origin;
};

// A window of the framework: a handle of our own, a message map and a virtual WindowProc.
// Top-level windows (frames, dialogs) own a framebuffer and, once shown, an OS window of the
// host (HostWindowLink); child windows (controls) paint into their top-level window's
// framebuffer. A top-level window's input reaches its children through its InputRouter; every
// window's handle is in the WindowRegistry.
// Everything runs on the UI thread except SendMessage and PostMessage.
class CWnd {
public:
    CWnd();
    virtual ~CWnd();
    CWnd(const CWnd&) = delete;
    CWnd& operator=(const CWnd&) = delete;

    static CWnd* FromHandle(WindowHandle handle);
    WindowHandle GetSafeHwnd() const { return m_hWnd; }

    // Creates a top-level window (no OS window until it is first shown). Sends WM_CREATE.
    bool CreateTopLevel(CREATESTRUCT& cs, CWnd* owner);
    // Creates a child control at rect (parent client coordinates).
    bool CreateChild(CWnd& parent, UINT id, const CRect& rect, bool visible = true);
    bool DestroyWindow();

    virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    virtual bool PreTranslateMessage(MSG& msg);
    virtual bool PreCreateWindow(CREATESTRUCT& cs);
    static const MessageMap* GetThisMessageMap();
    virtual const MessageMap* GetMessageMap() const;

    // On the UI thread: runs WindowProc now. From another thread: queues the message for the UI
    // thread and blocks until it has run there. 0 when the window is gone.
    LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0);
    bool PostMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0);

    bool ShowWindow(int command);
    bool IsWindowVisible() const; // this window and every parent visible
    bool IsShownFlag() const { return m_visible; }
    bool IsMinimized() const { return m_minimized; }
    bool EnableWindow(bool enable); // returns whether it was disabled before
    bool IsWindowEnabled() const;   // this window and every parent enabled
    void SetWindowText(const std::wstring& text);
    const std::wstring& GetWindowText() const { return m_text; }
    void SetInstanceName(std::string name) { m_instanceName = std::move(name); }
    const std::string& GetInstanceName() const { return m_instanceName; }

    // Screen coordinates for every window.
    void GetWindowRect(CRect* rect) const;
    CRect GetWindowRect() const;
    CRect GetClientRect() const { return { 0, 0, m_rect.Width(), m_rect.Height() }; }
    void GetClientRect(CRect* rect) const { *rect = GetClientRect(); }
    // How many screen pixels one unit of the skin takes in this window (its top-level window's):
    // the host's scale when the window was made, an owner's for a dialog, and whatever the host
    // reports later (WM_DPICHANGED follows). Every coordinate of a window is in screen pixels.
    double GetScale() const;
    // The rectangle in the parent's client coordinates (screen for top-level windows).
    const CRect& GetRelativeRect() const { return m_rect; }
    void MoveWindow(int x, int y, int width, int height, bool repaint = true);

    void InvalidateRect(const CRect* rect = nullptr, bool erase = true);
    // Paints what is invalid now and presents it.
    void UpdateWindow();
    // Repaints rect (client coordinates) at once and presents just that rectangle.
    void RedrawNow(const CRect& rect);

    CWnd* GetParent() const { return m_parent; }
    CWnd* GetOwner() const { return m_owner; }
    CWnd* GetTopLevelWindow();
    bool IsTopLevel() const { return m_parent == nullptr; }
    UINT GetDlgCtrlID() const { return m_id; }
    CWnd* GetDlgItem(UINT id) const;
    const std::vector<CWnd*>& GetChildren() const { return m_children; }

    void SetFocus();
    CWnd* GetFocusChild() const; // top-level windows: the child with the keyboard focus
    void SetCapture();
    static void ReleaseCapture();
    static CWnd* GetCapture();

    void SetForegroundWindow(); // raise the OS window
    Framebuffer* GetFramebuffer() { return m_frame.get(); }
    platform::HostWindow* GetHostWindow() const { return m_host.Window(); }

    // Sees every message sent to a window just before it is handled (tests, diagnostics).
    using MessageSpy = std::function<void(CWnd& window, UINT message, WPARAM wParam, LPARAM lParam)>;
    static void SetMessageSpy(MessageSpy spy);

    // Top-level windows with the given caption; null when none.
    static CWnd* FindTopLevelWindow(const std::wstring& caption);
    static std::vector<CWnd*> TopLevelWindows();
    // Paints and presents every top-level window with something invalid.
    static void PaintAllInvalid();

    // Top-level windows: the accessibility tree as it now is and what changed, for the host
    // window (now, or once it exists). The last tree is kept.
    void PublishAccessibility(platform::AccessibleTree tree, const std::vector<platform::AccessibleEvent>& events);
    const platform::AccessibleTree& GetAccessibleTree() const { return m_host.AccessibleTree(); }
    // Whether a screen reader reads this window now (the host knows); without one there is no
    // tree to build.
    bool IsAccessibilityWanted() const;

protected:
    LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    // Runs the message-map handler for the message; false when none matched.
    bool OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result);
    virtual void OnPaint(PaintContext& context);
    // Painted after every sibling: content that lies above the other controls (open lists).
    virtual void OnPaintOverlay(PaintContext& context);
    // Whether a point in client coordinates belongs to this window for mouse input.
    virtual bool HitTest(CPoint point) const;
    // Called once the window is gone; frame windows delete themselves here.
    virtual void PostNcDestroy() { }
    // The host's close button.
    virtual void OnHostCloseRequest();
    // A screen reader asked for the default action of a node of this window's tree.
    virtual void OnAccessibleAction(std::uint32_t) { }
    // A screen reader has come and wants the tree now.
    virtual void OnAccessibilityRequested() { }

private:
    friend class HostWindowLink;
    friend class InputRouter;

    void PaintTree(CWnd& window, Framebuffer& frame, const CRect& clip, CPoint origin, bool overlay);
    void PaintAndPresent(const CRect& rect);
    CPoint ScreenOrigin() const;
    CPoint OriginInTopLevel() const;
    void DestroyTree();

    WindowHandle m_hWnd = 0;
    CWnd* m_parent = nullptr;
    CWnd* m_owner = nullptr;
    std::vector<CWnd*> m_children;
    UINT m_id = 0;
    CRect m_rect;
    std::wstring m_text;
    std::string m_instanceName;
    bool m_visible = false;
    bool m_enabled = true;
    bool m_minimized = false;
    bool m_destroying = false;

    // Top-level windows only.
    std::unique_ptr<Framebuffer> m_frame;
    CRect m_invalid;
    double m_scale = 1.0;
    InputRouter m_input;
    HostWindowLink m_host;
};
