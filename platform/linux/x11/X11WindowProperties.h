#pragma once

#include "platform/Host.h"

#include <X11/Xlib.h>
#include <string>

namespace platform::linux::x11 {

struct X11Atoms;

// What a window manager and other X clients read of one window, written as ICCCM and EWMH
// say: class, process, machine, protocols, owner and type, a fixed size, the initial state,
// and the caption in both encodings.
class X11WindowProperties {
public:
    X11WindowProperties(Display* display, Window window, const X11Atoms& atoms);

    // Written once: WM_CLASS (instance: the window's script section; class: the program), the
    // pid and machine, WM_DELETE_WINDOW and _NET_WM_PING, a dialog's owner (0: none).
    void SetStatic(const std::string& instanceName, Window owner);
    // The user can't resize a skinned window; the position is the program's, not the manager's.
    void SetFixedSize(const HostRect& rect);
    // NormalState or IconicState.
    void SetInitialState(int state);
    // _NET_WM_NAME in UTF-8; WM_NAME in ISO Latin-1 when the caption fits, else UTF-8 too.
    void SetCaption(const std::wstring& caption);

private:
    void SetString(Atom property, Atom type, const std::string& value);

    Display* m_display;
    Window m_window;
    const X11Atoms& m_atoms;
};

} // namespace platform::linux::x11
