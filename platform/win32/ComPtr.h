#pragma once

#include <unknwn.h>

#include <utility>

namespace platform::win32 {

// A COM interface pointer released when it goes.
template<typename Interface>
class ComPtr {
public:
    ComPtr() = default;
    ComPtr(ComPtr&& other) noexcept : m_pointer(std::exchange(other.m_pointer, nullptr)) { }
    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;
    ~ComPtr() { Reset(); }

    Interface* operator->() const { return m_pointer; }
    explicit operator bool() const { return m_pointer != nullptr; }
    // For a call that hands out a reference; whatever was held before is released.
    Interface** Out()
    {
        Reset();
        return &m_pointer;
    }
    void** OutVoid() { return reinterpret_cast<void**>(Out()); }

    template<typename Other>
    ComPtr<Other> As(REFIID id) const
    {
        ComPtr<Other> other;
        if (m_pointer)
            m_pointer->QueryInterface(id, other.OutVoid());
        return other;
    }

    void Reset()
    {
        if (m_pointer)
            m_pointer->Release();
        m_pointer = nullptr;
    }

private:
    Interface* m_pointer = nullptr;
};

} // namespace platform::win32
