#pragma once

#include <X11/X.h>
#include <cstdint>

namespace platform::linux::x11 {

// The Win32 virtual-key code for an X keysym, or 0 when the program has no use for the key.
// Letters give 'A'..'Z' whatever the case; keypad keys give their numpad or navigation codes.
std::uint32_t VirtualKeyFromKeysym(KeySym keysym);

struct KeyModifiers {
    bool ctrl = false;
    bool alt = false;
    bool shift = false;
};

// The modifier state to report with a key event. X gives the state before the event; for a
// modifier key itself the framework expects the state after it (Ctrl down reports ctrl).
KeyModifiers ModifiersForKeyEvent(unsigned int xState, KeySym keysym, bool pressed);
KeyModifiers ModifiersFromState(unsigned int xState);

} // namespace platform::linux::x11
