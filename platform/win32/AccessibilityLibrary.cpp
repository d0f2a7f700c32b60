#include "platform/win32/AccessibilityLibrary.h"

#include "platform/win32/FormatLibrary.h"

namespace platform::win32 {

namespace {

template <typename Function>
Function Lookup(HMODULE module, const char* name)
{
    return reinterpret_cast<Function>(reinterpret_cast<void*>(::GetProcAddress(module, name)));
}

} // namespace

const AccessibilityLibrary& AccessibilityLibrary::Get()
{
    static const AccessibilityLibrary library;
    return library;
}

AccessibilityLibrary::AccessibilityLibrary()
{
    // From the system folder only, as every library the program loads (FormatLibrary.h).
    auto module = static_cast<HMODULE>(platform::LoadLibraryW(L"oleacc.dll"));
    if (!module)
        return;
    m_lresultFromObject = Lookup<LresultFromObjectFunction>(module, "LresultFromObject");
    m_accessibleObjectFromWindow = Lookup<AccessibleObjectFromWindowFunction>(module, "AccessibleObjectFromWindow");
}

LRESULT AccessibilityLibrary::LresultFromObject(REFIID id, WPARAM wParam, IUnknown* object) const
{
    return m_lresultFromObject ? m_lresultFromObject(id, wParam, object) : 0;
}

HRESULT AccessibilityLibrary::AccessibleObjectFromWindow(HWND window, DWORD objectId, REFIID id, void** object) const
{
    if (object)
        *object = nullptr;
    return m_accessibleObjectFromWindow ? m_accessibleObjectFromWindow(window, objectId, id, object) : E_FAIL;
}

} // namespace platform::win32
