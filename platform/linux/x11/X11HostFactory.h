#pragma once

#include "platform/Host.h"

#include <memory>

namespace platform::linux::x11 {

// The X11 host on $DISPLAY, or nullptr when no display can be opened (or its visual is not
// 24/32-bit TrueColor). Declared apart from X11Host.h so callers stay free of Xlib's macros.
std::unique_ptr<platform::Host> CreateX11Host();

} // namespace platform::linux::x11
