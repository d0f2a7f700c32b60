#pragma once

#include <objbase.h>

namespace platform::win32 {

// COM set up on this thread for one scope, as the shell's calls ask of their caller; undone only
// where this scope did it (not when the thread already had a different apartment).
class ComApartment {
public:
    ComApartment()
        : m_initialised(SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE)))
    {
    }
    ~ComApartment()
    {
        if (m_initialised)
            ::CoUninitialize();
    }
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;

private:
    bool m_initialised;
};

} // namespace platform::win32
