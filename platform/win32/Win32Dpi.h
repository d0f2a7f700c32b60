#pragma once

#include <windows.h>

namespace platform::win32 {

// The DPI queries of Windows 10 (1607 and later), looked up at run time so the program still
// starts on Windows 7 and 8, where the system DPI serves for every window.
class Win32Dpi {
public:
    // The DPI new windows get on the primary screen.
    static UINT System();
    // The DPI of the screen the window lies on.
    static UINT ForWindow(HWND window);
    // The outer size of a window whose client area is `client`, with the frame drawn at `dpi`.
    static SIZE OuterSize(SIZE client, DWORD style, DWORD extendedStyle, UINT dpi);
};

} // namespace platform::win32
