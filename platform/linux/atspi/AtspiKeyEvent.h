#pragma once

#include "platform/linux/atspi/DBusMessage.h"

#include <cstdint>
#include <string>

namespace platform::linux::atspi {

// A key typed in one of our windows, as the registry's device event controller hands it to the
// screen readers that listen for keys (NotifyListenersSync). A reader that consumes it (one of
// its own commands) answers true, and the window must then not act on it.
struct AtspiKeyEvent {
    bool pressed = true;
    std::uint32_t keysym = 0;
    std::uint32_t keycode = 0;   // the hardware code, by which readers bind their keys
    std::uint32_t modifiers = 0; // X modifier state; readers also look for NumLock
    std::uint32_t time = 0;      // the server's time of the event, in ms
    std::string text;            // what the key types, empty for keys that type nothing

    DBusMessage NotifyListenersCall() const;
};

} // namespace platform::linux::atspi
