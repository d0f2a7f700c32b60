#include "platform/win32/Win32Dpi.h"

namespace platform::win32 {

namespace {

using GetDpiForSystemCall = UINT(WINAPI*)();
using GetDpiForWindowCall = UINT(WINAPI*)(HWND);
using AdjustWindowRectExForDpiCall = BOOL(WINAPI*)(LPRECT, DWORD, BOOL, DWORD, UINT);

template<typename Call>
Call User32Call(const char* name)
{
    HMODULE user32 = ::GetModuleHandleW(L"user32.dll");
    return user32 ? reinterpret_cast<Call>(reinterpret_cast<void*>(::GetProcAddress(user32, name))) : nullptr;
}

} // namespace

UINT Win32Dpi::System()
{
    static const auto getDpiForSystem = User32Call<GetDpiForSystemCall>("GetDpiForSystem");
    if (getDpiForSystem)
        return getDpiForSystem();
    // Before Windows 10 a DPI-aware program reads the system DPI off the screen.
    HDC screen = ::GetDC(nullptr);
    int dpi = screen ? ::GetDeviceCaps(screen, LOGPIXELSX) : 0;
    if (screen)
        ::ReleaseDC(nullptr, screen);
    return dpi > 0 ? static_cast<UINT>(dpi) : USER_DEFAULT_SCREEN_DPI;
}

UINT Win32Dpi::ForWindow(HWND window)
{
    static const auto getDpiForWindow = User32Call<GetDpiForWindowCall>("GetDpiForWindow");
    UINT dpi = getDpiForWindow && window ? getDpiForWindow(window) : 0;
    return dpi ? dpi : System();
}

SIZE Win32Dpi::OuterSize(SIZE client, DWORD style, DWORD extendedStyle, UINT dpi)
{
    static const auto adjustForDpi = User32Call<AdjustWindowRectExForDpiCall>("AdjustWindowRectExForDpi");
    RECT frame { 0, 0, client.cx, client.cy };
    if (!adjustForDpi || !adjustForDpi(&frame, style, FALSE, extendedStyle, dpi))
        ::AdjustWindowRectEx(&frame, style, FALSE, extendedStyle);
    return { frame.right - frame.left, frame.bottom - frame.top };
}

} // namespace platform::win32
