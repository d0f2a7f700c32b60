#pragma once

#include <windows.h>
#include <oleacc.h>

#include <atomic>
#include <vector>

namespace platform::win32 {

// Several selected items, as get_accSelection hands them out: a plain enumeration of their ids,
// an object of its own.
class SelectionEnumerator final : public IEnumVARIANT {
public:
    SelectionEnumerator(std::vector<LONG> ids, ULONG position);

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID id, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE Next(ULONG count, VARIANT* items, ULONG* fetched) override;
    HRESULT STDMETHODCALLTYPE Skip(ULONG count) override;
    HRESULT STDMETHODCALLTYPE Reset() override;
    HRESULT STDMETHODCALLTYPE Clone(IEnumVARIANT** copy) override;

private:
    ~SelectionEnumerator() = default;

    std::atomic<ULONG> m_references { 1 };
    std::vector<LONG> m_ids;
    ULONG m_position;
};

} // namespace platform::win32
