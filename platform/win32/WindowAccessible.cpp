#include "platform/win32/WindowAccessible.h"

#include "platform/win32/AccessibilityLibrary.h"
#include "platform/win32/SelectionEnumerator.h"
#include "platform/win32/VariantChildIds.h"

#include <new>
#include <string>
#include <utility>
#include <vector>

namespace platform::win32 {

namespace {

namespace State = platform::AccessibleState;

// The ids of the simple elements under the window's object, in tree order.
std::vector<LONG> ChildIds(const AccessibleTree& tree)
{
    std::vector<LONG> ids;
    for (const AccessibleNode& node : tree.nodes) {
        if (node.id != 0)
            ids.push_back(static_cast<LONG>(node.id));
    }
    return ids;
}

HRESULT ReturnString(const std::wstring& text, BSTR* out)
{
    if (!out)
        return E_POINTER;
    *out = nullptr;
    if (text.empty())
        return S_FALSE;
    *out = ::SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    return *out ? S_OK : E_OUTOFMEMORY;
}

LONG RoleOf(const AccessibleNode& node)
{
    switch (node.role) {
    case AccessibleRole::Frame: return ROLE_SYSTEM_CLIENT;
    case AccessibleRole::Dialog: return ROLE_SYSTEM_DIALOG;
    case AccessibleRole::PushButton: return ROLE_SYSTEM_PUSHBUTTON;
    case AccessibleRole::Label: return ROLE_SYSTEM_STATICTEXT;
    case AccessibleRole::ComboBox: return ROLE_SYSTEM_COMBOBOX;
    case AccessibleRole::ListItem: return ROLE_SYSTEM_LISTITEM;
    case AccessibleRole::ProgressBar: return ROLE_SYSTEM_PROGRESSBAR;
    }
    return ROLE_SYSTEM_CLIENT;
}

const wchar_t* ActionOf(AccessibleAction action)
{
    switch (action) {
    case AccessibleAction::Press: return L"Press";
    case AccessibleAction::Open: return L"Open";
    case AccessibleAction::Close: return L"Close";
    case AccessibleAction::Select: return L"Select";
    case AccessibleAction::NoAction: break;
    }
    return L"";
}

} // namespace

IAccessible* WindowAccessible::Create(std::shared_ptr<AccessibleWindowState> state)
{
    return new (std::nothrow) WindowAccessible(std::move(state), 0);
}

WindowAccessible::WindowAccessible(std::shared_ptr<AccessibleWindowState> state, ULONG position)
    : m_state(std::move(state))
    , m_position(position)
{
}

HRESULT WindowAccessible::QueryInterface(REFIID id, void** object)
{
    if (!object)
        return E_POINTER;
    *object = nullptr;
    // IUnknown is always the IAccessible pointer: COM compares objects by it.
    if (id == IID_IUnknown || id == IID_IDispatch || id == IID_IAccessible)
        *object = static_cast<IAccessible*>(this);
    else if (id == IID_IEnumVARIANT)
        *object = static_cast<IEnumVARIANT*>(this);
    else
        return E_NOINTERFACE;
    AddRef();
    return S_OK;
}

ULONG WindowAccessible::AddRef()
{
    return ++m_references;
}

ULONG WindowAccessible::Release()
{
    ULONG left = --m_references;
    if (left == 0)
        delete this; // COM objects end themselves with their last reference
    return left;
}

HRESULT WindowAccessible::GetTypeInfoCount(UINT* count)
{
    if (!count)
        return E_POINTER;
    *count = 0;
    return S_OK;
}

HRESULT WindowAccessible::GetTypeInfo(UINT, LCID, ITypeInfo** info)
{
    if (info)
        *info = nullptr;
    return E_NOTIMPL;
}

HRESULT WindowAccessible::GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*)
{
    return E_NOTIMPL;
}

HRESULT WindowAccessible::Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*)
{
    return E_NOTIMPL;
}

const AccessibleNode* WindowAccessible::Node(const VARIANT& child, HRESULT& result) const
{
    if (!m_state->window) {
        result = CO_E_OBJNOTCONNECTED;
        return nullptr;
    }
    if (child.vt != VT_I4 || child.lVal < 0) {
        result = E_INVALIDARG;
        return nullptr;
    }
    const AccessibleNode* node = m_state->tree.Find(static_cast<std::uint32_t>(child.lVal));
    result = node ? S_OK : E_INVALIDARG;
    return node;
}

POINT WindowAccessible::TreeToScreen() const
{
    // The tree is in the program's screen coordinates, whose origin is the window's; the client
    // area lies inside the frame the system draws around it.
    POINT origin { 0, 0 };
    ::ClientToScreen(m_state->window, &origin);
    const AccessibleNode* root = m_state->tree.Find(0);
    if (root) {
        origin.x -= root->rect.x;
        origin.y -= root->rect.y;
    }
    return origin;
}

HRESULT WindowAccessible::get_accParent(IDispatch** parent)
{
    if (!parent)
        return E_POINTER;
    *parent = nullptr;
    if (!m_state->window)
        return CO_E_OBJNOTCONNECTED;
    // The client area's parent is the window's own object, which the system provides.
    return AccessibilityLibrary::Get().AccessibleObjectFromWindow(m_state->window, static_cast<DWORD>(OBJID_WINDOW), IID_IDispatch,
        reinterpret_cast<void**>(parent));
}

HRESULT WindowAccessible::get_accChildCount(long* count)
{
    if (!count)
        return E_POINTER;
    if (!m_state->window)
        return CO_E_OBJNOTCONNECTED;
    *count = static_cast<long>(ChildIds(m_state->tree).size());
    return S_OK;
}

HRESULT WindowAccessible::get_accChild(VARIANT child, IDispatch** object)
{
    if (!object)
        return E_POINTER;
    *object = nullptr;
    HRESULT result = S_OK;
    const AccessibleNode* node = Node(child, result);
    if (!node)
        return result;
    if (node->id == 0)
        return E_INVALIDARG;
    return S_FALSE; // every child is a simple element of this object
}

HRESULT WindowAccessible::get_accName(VARIANT child, BSTR* name)
{
    HRESULT result = S_OK;
    const AccessibleNode* node = Node(child, result);
    if (!node)
        return result;
    return ReturnString(node->name, name);
}

HRESULT WindowAccessible::get_accValue(VARIANT child, BSTR* value)
{
    if (value)
        *value = nullptr;
    HRESULT result = S_OK;
    const AccessibleNode* node = Node(child, result);
    if (!node)
        return result;
    if (!node->hasValue)
        return DISP_E_MEMBERNOTFOUND;
    return ReturnString(node->valueText, value);
}

HRESULT WindowAccessible::get_accDescription(VARIANT child, BSTR* description)
{
    HRESULT result = S_OK;
    if (!Node(child, result))
        return result;
    return ReturnString({}, description);
}

HRESULT WindowAccessible::get_accRole(VARIANT child, VARIANT* role)
{
    if (!role)
        return E_POINTER;
    ::VariantInit(role);
    HRESULT result = S_OK;
    const AccessibleNode* node = Node(child, result);
    if (!node)
        return result;
    SetChildId(role, RoleOf(*node));
    return S_OK;
}

HRESULT WindowAccessible::get_accState(VARIANT child, VARIANT* state)
{
    if (!state)
        return E_POINTER;
    ::VariantInit(state);
    HRESULT result = S_OK;
    const AccessibleNode* node = Node(child, result);
    if (!node)
        return result;
    LONG bits = 0;
    if (node->Has(State::Focusable))
        bits |= STATE_SYSTEM_FOCUSABLE;
    if (node->Has(State::Focused))
        bits |= STATE_SYSTEM_FOCUSED;
    if (node->Has(State::Unavailable))
        bits |= STATE_SYSTEM_UNAVAILABLE;
    if (node->Has(State::Invisible) || !::IsWindowVisible(m_state->window))
        bits |= STATE_SYSTEM_INVISIBLE;
    if (node->Has(State::Expanded))
        bits |= STATE_SYSTEM_EXPANDED;
    if (node->Has(State::Collapsed))
        bits |= STATE_SYSTEM_COLLAPSED;
    if (node->Has(State::Selectable))
        bits |= STATE_SYSTEM_SELECTABLE;
    if (node->Has(State::Selected))
        bits |= STATE_SYSTEM_SELECTED;
    if (node->role == AccessibleRole::Label || node->role == AccessibleRole::ProgressBar)
        bits |= STATE_SYSTEM_READONLY;
    if (node->id == 0)
        bits |= STATE_SYSTEM_FOCUSABLE | (::GetFocus() == m_state->window ? STATE_SYSTEM_FOCUSED : 0);
    SetChildId(state, bits);
    return S_OK;
}

HRESULT WindowAccessible::get_accHelp(VARIANT child, BSTR* help)
{
    HRESULT result = S_OK;
    if (!Node(child, result))
        return result;
    return ReturnString({}, help);
}

HRESULT WindowAccessible::get_accHelpTopic(BSTR* file, VARIANT, long* topic)
{
    if (file)
        *file = nullptr;
    if (topic)
        *topic = -1;
    return DISP_E_MEMBERNOTFOUND;
}

HRESULT WindowAccessible::get_accKeyboardShortcut(VARIANT child, BSTR* shortcut)
{
    HRESULT result = S_OK;
    if (!Node(child, result))
        return result;
    return ReturnString({}, shortcut);
}

HRESULT WindowAccessible::get_accFocus(VARIANT* child)
{
    if (!child)
        return E_POINTER;
    ::VariantInit(child);
    if (!m_state->window)
        return CO_E_OBJNOTCONNECTED;
    if (::GetFocus() != m_state->window)
        return S_FALSE;
    for (const AccessibleNode& node : m_state->tree.nodes) {
        if (node.id != 0 && node.Has(State::Focused)) {
            SetChildId(child, static_cast<LONG>(node.id));
            return S_OK;
        }
    }
    SetChildId(child, CHILDID_SELF);
    return S_OK;
}

HRESULT WindowAccessible::get_accSelection(VARIANT* children)
{
    if (!children)
        return E_POINTER;
    ::VariantInit(children);
    if (!m_state->window)
        return CO_E_OBJNOTCONNECTED;
    std::vector<LONG> selected;
    for (const AccessibleNode& node : m_state->tree.nodes) {
        if (node.id != 0 && node.Has(State::Selected))
            selected.push_back(static_cast<LONG>(node.id));
    }
    if (selected.empty())
        return S_OK; // VT_EMPTY: nothing selected
    if (selected.size() == 1) {
        SetChildId(children, selected.front());
        return S_OK;
    }
    auto* enumerator = new (std::nothrow) SelectionEnumerator(std::move(selected), 0);
    if (!enumerator)
        return E_OUTOFMEMORY;
    children->vt = VT_UNKNOWN;
    children->punkVal = enumerator;
    return S_OK;
}

HRESULT WindowAccessible::get_accDefaultAction(VARIANT child, BSTR* action)
{
    if (action)
        *action = nullptr;
    HRESULT result = S_OK;
    const AccessibleNode* node = Node(child, result);
    if (!node)
        return result;
    if (node->action == AccessibleAction::NoAction)
        return DISP_E_MEMBERNOTFOUND;
    return ReturnString(ActionOf(node->action), action);
}

HRESULT WindowAccessible::accSelect(long, VARIANT child)
{
    HRESULT result = S_OK;
    if (!Node(child, result))
        return result;
    return DISP_E_MEMBERNOTFOUND;
}

HRESULT WindowAccessible::accLocation(long* left, long* top, long* width, long* height, VARIANT child)
{
    if (!left || !top || !width || !height)
        return E_POINTER;
    HRESULT result = S_OK;
    const AccessibleNode* node = Node(child, result);
    if (!node)
        return result;
    POINT origin = TreeToScreen();
    *left = node->rect.x + origin.x;
    *top = node->rect.y + origin.y;
    *width = node->rect.width;
    *height = node->rect.height;
    return S_OK;
}

HRESULT WindowAccessible::accNavigate(long direction, VARIANT start, VARIANT* end)
{
    if (!end)
        return E_POINTER;
    ::VariantInit(end);
    HRESULT result = S_OK;
    const AccessibleNode* node = Node(start, result);
    if (!node)
        return result;
    std::vector<LONG> ids = ChildIds(m_state->tree);
    if (node->id == 0) {
        if ((direction != NAVDIR_FIRSTCHILD && direction != NAVDIR_LASTCHILD) || ids.empty())
            return S_FALSE;
        SetChildId(end, direction == NAVDIR_FIRSTCHILD ? ids.front() : ids.back());
        return S_OK;
    }
    std::size_t index = 0;
    while (index < ids.size() && ids[index] != static_cast<LONG>(node->id))
        ++index;
    if (direction == NAVDIR_NEXT && index + 1 < ids.size()) {
        SetChildId(end, ids[index + 1]);
        return S_OK;
    }
    if (direction == NAVDIR_PREVIOUS && index > 0 && index < ids.size()) {
        SetChildId(end, ids[index - 1]);
        return S_OK;
    }
    return S_FALSE;
}

HRESULT WindowAccessible::accHitTest(long x, long y, VARIANT* child)
{
    if (!child)
        return E_POINTER;
    ::VariantInit(child);
    if (!m_state->window)
        return CO_E_OBJNOTCONNECTED;
    POINT origin = TreeToScreen();
    long treeX = x - origin.x;
    long treeY = y - origin.y;
    auto inside = [&](const AccessibleNode& node) {
        return treeX >= node.rect.x && treeY >= node.rect.y && treeX < node.rect.x + node.rect.width
            && treeY < node.rect.y + node.rect.height;
    };
    // The last node drawn at the point is the one on top (an open list over what it covers).
    const AccessibleNode* hit = nullptr;
    for (const AccessibleNode& node : m_state->tree.nodes) {
        if (!node.Has(State::Invisible) && inside(node))
            hit = &node;
    }
    if (!hit)
        return S_FALSE;
    SetChildId(child, static_cast<LONG>(hit->id));
    return S_OK;
}

HRESULT WindowAccessible::accDoDefaultAction(VARIANT child)
{
    HRESULT result = S_OK;
    const AccessibleNode* node = Node(child, result);
    if (!node)
        return result;
    if (node->action == AccessibleAction::NoAction)
        return DISP_E_MEMBERNOTFOUND;
    if (node->Has(State::Invisible) || node->Has(State::Unavailable) || !m_state->doAction)
        return E_FAIL;
    // Queued for the program's loop: the action may open a modal dialog, which must not run
    // inside this call.
    m_state->doAction(node->id);
    return S_OK;
}

HRESULT WindowAccessible::put_accName(VARIANT, BSTR)
{
    return E_NOTIMPL;
}

HRESULT WindowAccessible::put_accValue(VARIANT, BSTR)
{
    return E_NOTIMPL;
}

HRESULT WindowAccessible::Next(ULONG count, VARIANT* items, ULONG* fetched)
{
    if (fetched)
        *fetched = 0;
    if (!m_state->window)
        return CO_E_OBJNOTCONNECTED;
    return NextChildIds(ChildIds(m_state->tree), m_position, count, items, fetched);
}

HRESULT WindowAccessible::Skip(ULONG count)
{
    if (!m_state->window)
        return CO_E_OBJNOTCONNECTED;
    return SkipChildIds(ChildIds(m_state->tree), m_position, count);
}

HRESULT WindowAccessible::Reset()
{
    m_position = 0;
    return S_OK;
}

HRESULT WindowAccessible::Clone(IEnumVARIANT** copy)
{
    if (!copy)
        return E_POINTER;
    // A new object over the same window, at the same place of the enumeration.
    auto* clone = new (std::nothrow) WindowAccessible(m_state, m_position);
    *copy = clone ? static_cast<IEnumVARIANT*>(clone) : nullptr;
    return clone ? S_OK : E_OUTOFMEMORY;
}

} // namespace platform::win32
