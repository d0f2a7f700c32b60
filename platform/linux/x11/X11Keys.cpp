#include "platform/linux/x11/X11Keys.h"

#include <X11/keysym.h>

namespace platform::linux::x11 {

namespace {

struct KeyMapping {
    KeySym keysym;
    std::uint32_t virtualKey;
};

constexpr KeyMapping s_keyMappings[] = {
    { XK_BackSpace, 0x08 },
    { XK_Tab, 0x09 },
    { XK_ISO_Left_Tab, 0x09 },
    { XK_Return, 0x0D },
    { XK_KP_Enter, 0x0D },
    { XK_Shift_L, 0x10 },
    { XK_Shift_R, 0x10 },
    { XK_Control_L, 0x11 },
    { XK_Control_R, 0x11 },
    { XK_Alt_L, 0x12 },
    { XK_Alt_R, 0x12 },
    { XK_Meta_L, 0x12 },
    { XK_Meta_R, 0x12 },
    { XK_Pause, 0x13 },
    { XK_Caps_Lock, 0x14 },
    { XK_Escape, 0x1B },
    { XK_space, 0x20 },
    { XK_KP_Space, 0x20 },
    { XK_Prior, 0x21 },
    { XK_KP_Prior, 0x21 },
    { XK_Next, 0x22 },
    { XK_KP_Next, 0x22 },
    { XK_End, 0x23 },
    { XK_KP_End, 0x23 },
    { XK_Home, 0x24 },
    { XK_KP_Home, 0x24 },
    { XK_Left, 0x25 },
    { XK_KP_Left, 0x25 },
    { XK_Up, 0x26 },
    { XK_KP_Up, 0x26 },
    { XK_Right, 0x27 },
    { XK_KP_Right, 0x27 },
    { XK_Down, 0x28 },
    { XK_KP_Down, 0x28 },
    { XK_Print, 0x2C },
    { XK_Insert, 0x2D },
    { XK_KP_Insert, 0x2D },
    { XK_Delete, 0x2E },
    { XK_KP_Delete, 0x2E },
    { XK_Super_L, 0x5B },
    { XK_Super_R, 0x5C },
    { XK_Menu, 0x5D },
    { XK_KP_Multiply, 0x6A },
    { XK_KP_Add, 0x6B },
    { XK_KP_Subtract, 0x6D },
    { XK_KP_Decimal, 0x6E },
    { XK_KP_Divide, 0x6F },
    { XK_Num_Lock, 0x90 },
    { XK_Scroll_Lock, 0x91 },
    { XK_semicolon, 0xBA },
    { XK_equal, 0xBB },
    { XK_comma, 0xBC },
    { XK_minus, 0xBD },
    { XK_period, 0xBE },
    { XK_slash, 0xBF },
    { XK_grave, 0xC0 },
    { XK_bracketleft, 0xDB },
    { XK_backslash, 0xDC },
    { XK_bracketright, 0xDD },
    { XK_apostrophe, 0xDE },
};

bool IsCtrlKey(KeySym keysym) { return keysym == XK_Control_L || keysym == XK_Control_R; }
bool IsShiftKey(KeySym keysym) { return keysym == XK_Shift_L || keysym == XK_Shift_R; }
bool IsAltKey(KeySym keysym)
{
    return keysym == XK_Alt_L || keysym == XK_Alt_R || keysym == XK_Meta_L || keysym == XK_Meta_R;
}

} // namespace

std::uint32_t VirtualKeyFromKeysym(KeySym keysym)
{
    if (keysym >= XK_a && keysym <= XK_z)
        return static_cast<std::uint32_t>('A' + (keysym - XK_a));
    if (keysym >= XK_A && keysym <= XK_Z)
        return static_cast<std::uint32_t>(keysym);
    if (keysym >= XK_0 && keysym <= XK_9)
        return static_cast<std::uint32_t>(keysym);
    if (keysym >= XK_KP_0 && keysym <= XK_KP_9)
        return static_cast<std::uint32_t>(0x60 + (keysym - XK_KP_0));
    if (keysym >= XK_F1 && keysym <= XK_F24)
        return static_cast<std::uint32_t>(0x70 + (keysym - XK_F1));
    for (const auto& mapping : s_keyMappings) {
        if (mapping.keysym == keysym)
            return mapping.virtualKey;
    }
    return 0;
}

KeyModifiers ModifiersFromState(unsigned int xState)
{
    KeyModifiers modifiers;
    modifiers.ctrl = (xState & ControlMask) != 0;
    modifiers.alt = (xState & Mod1Mask) != 0;
    modifiers.shift = (xState & ShiftMask) != 0;
    return modifiers;
}

KeyModifiers ModifiersForKeyEvent(unsigned int xState, KeySym keysym, bool pressed)
{
    KeyModifiers modifiers = ModifiersFromState(xState);
    if (IsCtrlKey(keysym))
        modifiers.ctrl = pressed;
    else if (IsShiftKey(keysym))
        modifiers.shift = pressed;
    else if (IsAltKey(keysym))
        modifiers.alt = pressed;
    return modifiers;
}

} // namespace platform::linux::x11
