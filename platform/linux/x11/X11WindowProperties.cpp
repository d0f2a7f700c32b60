#include "platform/linux/x11/X11WindowProperties.h"

#include "platform/files/Utf8.h"
#include "platform/linux/x11/X11Host.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <algorithm>
#include <cstdint>
#include <unistd.h>

namespace platform::linux::x11 {

namespace {

// wchar_t holds UTF-32 here; invalid code points become U+FFFD.
bool IsLatin1(const std::wstring& text)
{
    return std::all_of(text.begin(), text.end(), [](wchar_t c) { return static_cast<std::uint32_t>(c) <= 0xFF; });
}

} // namespace

X11WindowProperties::X11WindowProperties(Display* display, Window window, const X11Atoms& atoms)
    : m_display(display)
    , m_window(window)
    , m_atoms(atoms)
{
}

void X11WindowProperties::SetString(Atom property, Atom type, const std::string& value)
{
    XChangeProperty(m_display, m_window, property, type, 8, PropModeReplace,
        reinterpret_cast<const unsigned char*>(value.data()), static_cast<int>(value.size()));
}

void X11WindowProperties::SetStatic(const std::string& instanceName, Window owner)
{
    // WM_CLASS: instance = the window's script section, class = the program.
    std::string className = "arkeven";
    XClassHint classHint;
    classHint.res_name = const_cast<char*>(instanceName.c_str());
    classHint.res_class = const_cast<char*>(className.c_str());
    XSetClassHint(m_display, m_window, &classHint);

    long pid = static_cast<long>(getpid());
    XChangeProperty(m_display, m_window, m_atoms.netWmPid, XA_CARDINAL, 32, PropModeReplace,
        reinterpret_cast<const unsigned char*>(&pid), 1);
    char hostName[256] = {};
    if (gethostname(hostName, sizeof hostName - 1) == 0)
        SetString(XA_WM_CLIENT_MACHINE, XA_STRING, hostName);

    Atom protocols[] = { m_atoms.wmDeleteWindow, m_atoms.netWmPing };
    XSetWMProtocols(m_display, m_window, protocols, 2);

    if (owner)
        XSetTransientForHint(m_display, m_window, owner);
    Atom windowType = owner ? m_atoms.netWmWindowTypeDialog : m_atoms.netWmWindowTypeNormal;
    XChangeProperty(m_display, m_window, m_atoms.netWmWindowType, XA_ATOM, 32, PropModeReplace,
        reinterpret_cast<const unsigned char*>(&windowType), 1);
}

void X11WindowProperties::SetFixedSize(const HostRect& rect)
{
    XSizeHints hints {};
    // USPosition: a window manager places the window where the program says, not where it likes.
    hints.flags = USPosition | PPosition | PSize | PMinSize | PMaxSize;
    hints.x = rect.x;
    hints.y = rect.y;
    hints.width = hints.min_width = hints.max_width = rect.width;
    hints.height = hints.min_height = hints.max_height = rect.height;
    XSetWMNormalHints(m_display, m_window, &hints);
}

void X11WindowProperties::SetInitialState(int state)
{
    XWMHints hints {};
    hints.flags = InputHint | StateHint;
    hints.input = True;
    hints.initial_state = state;
    XSetWMHints(m_display, m_window, &hints);
}

void X11WindowProperties::SetCaption(const std::wstring& caption)
{
    std::string utf8 = ToUtf8(caption);
    SetString(m_atoms.netWmName, m_atoms.utf8String, utf8);
    // WM_NAME for older tools: ISO Latin-1 (STRING) when the caption fits, else UTF-8 as well.
    if (IsLatin1(caption)) {
        std::string latin1(caption.begin(), caption.end());
        std::transform(caption.begin(), caption.end(), latin1.begin(), [](wchar_t c) { return static_cast<char>(c); });
        SetString(XA_WM_NAME, XA_STRING, latin1);
    } else {
        SetString(XA_WM_NAME, m_atoms.utf8String, utf8);
    }
}

} // namespace platform::linux::x11
