#pragma once

#include "platform/HostAccessibility.h"

#include <windows.h>
#include <oleacc.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>

namespace platform::win32 {

// What the accessible object of a window reads: the tree the window last published, the window
// it lies in, and how it asks for an action. The window clears `window` and `doAction` when it
// goes; objects that screen readers still hold then answer that they are disconnected.
struct AccessibleWindowState {
    HWND window = nullptr;
    AccessibleTree tree;
    std::function<void(std::uint32_t node)> doAction;
};

// The Active Accessibility object of a window's client area (OBJID_CLIENT): the window's tree
// node as the object itself (CHILDID_SELF is node 0), every other node as a simple element whose
// child id is the node's id. Screen readers (Narrator, NVDA, JAWS) read and drive it.
// The object also enumerates its children (IEnumVARIANT, as AccessibleChildren asks for it): one
// COM object, so every interface answers QueryInterface alike and IUnknown is one pointer.
class WindowAccessible final : public IAccessible, public IEnumVARIANT {
public:
    // A new object with one reference, which the caller owns.
    static IAccessible* Create(std::shared_ptr<AccessibleWindowState> state);

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID id, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    // IDispatch: not offered; clients call IAccessible directly.
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** info) override;
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override;
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override;

    // IAccessible
    HRESULT STDMETHODCALLTYPE get_accParent(IDispatch** parent) override;
    HRESULT STDMETHODCALLTYPE get_accChildCount(long* count) override;
    HRESULT STDMETHODCALLTYPE get_accChild(VARIANT child, IDispatch** object) override;
    HRESULT STDMETHODCALLTYPE get_accName(VARIANT child, BSTR* name) override;
    HRESULT STDMETHODCALLTYPE get_accValue(VARIANT child, BSTR* value) override;
    HRESULT STDMETHODCALLTYPE get_accDescription(VARIANT child, BSTR* description) override;
    HRESULT STDMETHODCALLTYPE get_accRole(VARIANT child, VARIANT* role) override;
    HRESULT STDMETHODCALLTYPE get_accState(VARIANT child, VARIANT* state) override;
    HRESULT STDMETHODCALLTYPE get_accHelp(VARIANT child, BSTR* help) override;
    HRESULT STDMETHODCALLTYPE get_accHelpTopic(BSTR* file, VARIANT child, long* topic) override;
    HRESULT STDMETHODCALLTYPE get_accKeyboardShortcut(VARIANT child, BSTR* shortcut) override;
    HRESULT STDMETHODCALLTYPE get_accFocus(VARIANT* child) override;
    HRESULT STDMETHODCALLTYPE get_accSelection(VARIANT* children) override;
    HRESULT STDMETHODCALLTYPE get_accDefaultAction(VARIANT child, BSTR* action) override;
    HRESULT STDMETHODCALLTYPE accSelect(long flags, VARIANT child) override;
    HRESULT STDMETHODCALLTYPE accLocation(long* left, long* top, long* width, long* height, VARIANT child) override;
    HRESULT STDMETHODCALLTYPE accNavigate(long direction, VARIANT start, VARIANT* end) override;
    HRESULT STDMETHODCALLTYPE accHitTest(long x, long y, VARIANT* child) override;
    HRESULT STDMETHODCALLTYPE accDoDefaultAction(VARIANT child) override;
    HRESULT STDMETHODCALLTYPE put_accName(VARIANT child, BSTR name) override;
    HRESULT STDMETHODCALLTYPE put_accValue(VARIANT child, BSTR value) override;

    // IEnumVARIANT: the children's ids, in tree order, from the object's own position.
    HRESULT STDMETHODCALLTYPE Next(ULONG count, VARIANT* items, ULONG* fetched) override;
    HRESULT STDMETHODCALLTYPE Skip(ULONG count) override;
    HRESULT STDMETHODCALLTYPE Reset() override;
    HRESULT STDMETHODCALLTYPE Clone(IEnumVARIANT** copy) override;

private:
    WindowAccessible(std::shared_ptr<AccessibleWindowState> state, ULONG position);
    ~WindowAccessible() = default;

    // The node a VARIANT child id names; HRESULT of the failure in `result` when none.
    const AccessibleNode* Node(const VARIANT& child, HRESULT& result) const;
    // Screen position of the tree's coordinates: its window's client area origin.
    POINT TreeToScreen() const;

    std::atomic<ULONG> m_references { 1 };
    std::shared_ptr<AccessibleWindowState> m_state;
    ULONG m_position = 0; // of the enumeration
};

} // namespace platform::win32
