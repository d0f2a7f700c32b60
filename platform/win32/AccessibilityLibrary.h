#pragma once

#include <windows.h>
#include <oleacc.h>

namespace platform::win32 {

// Active Accessibility's library ("oleacc.dll"), loaded from the system folder at its first use
// rather than through the import table: the loader looks for an imported library beside the
// program before the program can limit the search, and the program runs elevated from a CD
// that anyone can copy with a library of that name beside it. Never freed.
class AccessibilityLibrary {
public:
    static const AccessibilityLibrary& Get();

    bool IsLoaded() const { return m_lresultFromObject && m_accessibleObjectFromWindow; }
    // As the library's own functions; 0 or E_FAIL when it could not be loaded.
    LRESULT LresultFromObject(REFIID id, WPARAM wParam, IUnknown* object) const;
    HRESULT AccessibleObjectFromWindow(HWND window, DWORD objectId, REFIID id, void** object) const;

private:
    AccessibilityLibrary();

    using LresultFromObjectFunction = LRESULT(WINAPI*)(REFIID, WPARAM, LPUNKNOWN);
    using AccessibleObjectFromWindowFunction = HRESULT(WINAPI*)(HWND, DWORD, REFIID, void**);
    LresultFromObjectFunction m_lresultFromObject = nullptr;
    AccessibleObjectFromWindowFunction m_accessibleObjectFromWindow = nullptr;
};

} // namespace platform::win32
