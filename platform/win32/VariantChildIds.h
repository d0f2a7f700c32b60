#pragma once

#include <windows.h>
#include <oleacc.h>

#include <vector>

namespace platform::win32 {

// Child ids of an accessible object handed out in VARIANTs (VT_I4), and a list of them walked
// as IEnumVARIANT walks it: `position` is the enumeration's place in `ids`.
void SetChildId(VARIANT* out, LONG id);
HRESULT NextChildIds(const std::vector<LONG>& ids, ULONG& position, ULONG count, VARIANT* items, ULONG* fetched);
HRESULT SkipChildIds(const std::vector<LONG>& ids, ULONG& position, ULONG count);

} // namespace platform::win32
