#pragma once

#include <cstdint>

// The integer types of the window-message world, with the widths the program relies on.
using UINT = unsigned int;
using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;
using COLORREF = std::uint32_t;
using LANGID = std::uint16_t;

// Our own window handle; 0 is no window.
using WindowHandle = std::uint32_t;

constexpr UINT LOWORD(WPARAM value) { return static_cast<UINT>(value & 0xFFFF); }
constexpr UINT HIWORD(WPARAM value) { return static_cast<UINT>((value >> 16) & 0xFFFF); }
constexpr WPARAM MAKEWPARAM(UINT low, UINT high) { return static_cast<WPARAM>((low & 0xFFFF) | ((high & 0xFFFF) << 16)); }
constexpr LPARAM MAKELPARAM(UINT low, UINT high)
{
    return static_cast<LPARAM>(static_cast<std::uint32_t>((low & 0xFFFF) | ((high & 0xFFFF) << 16)));
}
// Signed client coordinates packed in an LPARAM, as GET_X_LPARAM / GET_Y_LPARAM read them.
constexpr int GET_X_LPARAM(LPARAM value) { return static_cast<std::int16_t>(value & 0xFFFF); }
constexpr int GET_Y_LPARAM(LPARAM value) { return static_cast<std::int16_t>((value >> 16) & 0xFFFF); }

// The value of a COLORREF: 0x00BBGGRR.
constexpr COLORREF RGB(unsigned r, unsigned g, unsigned b) { return (r & 0xFF) | ((g & 0xFF) << 8) | ((b & 0xFF) << 16); }

struct MSG {
    WindowHandle hwnd = 0;
    UINT message = 0;
    WPARAM wParam = 0;
    LPARAM lParam = 0;
};
