#include "platform/win32/VariantChildIds.h"

namespace platform::win32 {

void SetChildId(VARIANT* out, LONG id)
{
    ::VariantInit(out);
    out->vt = VT_I4;
    out->lVal = id;
}

HRESULT NextChildIds(const std::vector<LONG>& ids, ULONG& position, ULONG count, VARIANT* items, ULONG* fetched)
{
    if (!items)
        return E_POINTER;
    ULONG done = 0;
    while (done < count && position < ids.size())
        SetChildId(&items[done++], ids[position++]);
    if (fetched)
        *fetched = done;
    return done == count ? S_OK : S_FALSE;
}

HRESULT SkipChildIds(const std::vector<LONG>& ids, ULONG& position, ULONG count)
{
    ULONG left = position < ids.size() ? static_cast<ULONG>(ids.size()) - position : 0;
    position += count < left ? count : left;
    return count <= left ? S_OK : S_FALSE;
}

} // namespace platform::win32
