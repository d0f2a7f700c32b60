#pragma once

#include "framework/Framebuffer.h"
#include "framework/Types.h"
#include "platform/Host.h"

class CWnd;

// Where a top-level window's input goes: the pointer to the control under it (or to the one
// holding the capture), keys to the focused control, each first through PreTranslateMessage
// from the target up to the top-level window and then the application's. Keeps which control
// has the focus and which one the pointer is over; the capture is process-wide, as on Windows.
// UI thread only.
class InputRouter {
public:
    explicit InputRouter(CWnd& topLevel);
    InputRouter(const InputRouter&) = delete;
    InputRouter& operator=(const InputRouter&) = delete;

    // Pointer, key and keyboard-focus input of the host window; the window and its key state
    // already know the modifiers.
    void Deliver(const platform::HostInput& input);

    CWnd* Focus() const { return m_focus; }
    // Moves the focus to `focus` (null: the top-level window itself), with WM_KILLFOCUS to the
    // one that had it and WM_SETFOCUS to the new one.
    void SetFocus(CWnd* focus);
    // `window` is going: neither the focus nor the hover stays on it.
    void Forget(const CWnd& window);

    static void SetCapture(CWnd* window) { s_capture = window; }
    static CWnd* Capture() { return s_capture; }
    // Releases the capture when `ancestor` or one of its descendants holds it.
    static void ReleaseCaptureWithin(const CWnd& ancestor);

private:
    // The deepest visible, enabled window under `point` (in `window`'s client coordinates).
    static CWnd* WindowAt(CWnd& window, CPoint point);
    void RouteMouse(UINT message, CPoint point);
    void RouteKey(UINT message, UINT key);

    CWnd& m_topLevel;
    CWnd* m_focus = nullptr;
    CWnd* m_hover = nullptr;
    static CWnd* s_capture;
};
