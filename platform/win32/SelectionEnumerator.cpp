#include "platform/win32/SelectionEnumerator.h"

#include "platform/win32/VariantChildIds.h"

#include <new>
#include <utility>

namespace platform::win32 {

SelectionEnumerator::SelectionEnumerator(std::vector<LONG> ids, ULONG position)
    : m_ids(std::move(ids))
    , m_position(position)
{
}

HRESULT SelectionEnumerator::QueryInterface(REFIID id, void** object)
{
    if (!object)
        return E_POINTER;
    if (id == IID_IUnknown || id == IID_IEnumVARIANT) {
        *object = static_cast<IEnumVARIANT*>(this);
        AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

ULONG SelectionEnumerator::AddRef()
{
    return ++m_references;
}

ULONG SelectionEnumerator::Release()
{
    ULONG left = --m_references;
    if (left == 0)
        delete this; // COM objects end themselves with their last reference
    return left;
}

HRESULT SelectionEnumerator::Next(ULONG count, VARIANT* items, ULONG* fetched)
{
    return NextChildIds(m_ids, m_position, count, items, fetched);
}

HRESULT SelectionEnumerator::Skip(ULONG count)
{
    return SkipChildIds(m_ids, m_position, count);
}

HRESULT SelectionEnumerator::Reset()
{
    m_position = 0;
    return S_OK;
}

HRESULT SelectionEnumerator::Clone(IEnumVARIANT** copy)
{
    if (!copy)
        return E_POINTER;
    *copy = new (std::nothrow) SelectionEnumerator(m_ids, m_position);
    return *copy ? S_OK : E_OUTOFMEMORY;
}

} // namespace platform::win32
