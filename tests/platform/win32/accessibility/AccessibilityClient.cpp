// A screen reader's view of the launcher through Active Accessibility, as Narrator, NVDA and
// JAWS have it: the client object of the window "Varn MID" and its children.
//   AccessibilityClient buttons        "<role>\t<name>" of the window, then of each shown button
//   AccessibilityClient press NAME     the shown button NAME pressed through its default action
//   AccessibilityClient selection      the open dialog's object: its children enumerated through
//                                      the object itself (one COM identity), then the name of the
//                                      selected item ("children\t<count>", "selected\t<name>")
// Exits 1 with a reason on the standard error when something is missing.
#include <windows.h>
#include <oleacc.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

std::string Utf8(const wchar_t* text)
{
    if (!text)
        return {};
    int size = ::WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    std::string out(size > 0 ? static_cast<size_t>(size) : 0, '\0');
    if (size > 0)
        ::WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), size, nullptr, nullptr);
    if (!out.empty())
        out.pop_back();
    return out;
}

int Fail(const char* reason, HRESULT result = S_OK)
{
    std::fprintf(stderr, "accessibility client: %s (0x%08lx)\n", reason, static_cast<unsigned long>(result));
    return 1;
}

std::wstring NameOf(IAccessible& object, const VARIANT& child)
{
    BSTR name = nullptr;
    std::wstring text;
    if (object.get_accName(child, &name) == S_OK && name)
        text = name;
    ::SysFreeString(name);
    return text;
}

long LongOf(HRESULT result, const VARIANT& value)
{
    return SUCCEEDED(result) && value.vt == VT_I4 ? value.lVal : -1;
}

// The dialog over the launcher: the program's other window, which has no caption.
HWND DialogWindow()
{
    return ::FindWindowW(L"ArkevenWindow", L"");
}

IUnknown* IdentityOf(IUnknown& object)
{
    IUnknown* identity = nullptr;
    object.QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity));
    if (identity)
        identity->Release(); // compared only, while the object is held
    return identity;
}

// The first child of that role, as a child id; VT_EMPTY when there is none.
VARIANT ChildWithRole(IAccessible& object, long role)
{
    VARIANT found;
    ::VariantInit(&found);
    long count = 0;
    object.get_accChildCount(&count);
    std::vector<VARIANT> children(static_cast<size_t>(count > 0 ? count : 0));
    long obtained = 0;
    if (count > 0 && SUCCEEDED(::AccessibleChildren(&object, 0, count, children.data(), &obtained))) {
        for (long i = 0; i < obtained && found.vt == VT_EMPTY; ++i) {
            VARIANT value;
            ::VariantInit(&value);
            if (children[static_cast<size_t>(i)].vt == VT_I4 && LongOf(object.get_accRole(children[static_cast<size_t>(i)], &value), value) == role)
                found = children[static_cast<size_t>(i)];
        }
    }
    for (VARIANT& child : children)
        ::VariantClear(&child);
    return found;
}

int Selection()
{
    HWND window = DialogWindow();
    if (!window)
        return Fail("no dialog window");
    IAccessible* client = nullptr;
    HRESULT result = ::AccessibleObjectFromWindow(window, static_cast<DWORD>(OBJID_CLIENT), IID_IAccessible,
        reinterpret_cast<void**>(&client));
    if (FAILED(result) || !client)
        return Fail("AccessibleObjectFromWindow failed", result);
    IEnumVARIANT* children = nullptr;
    result = client->QueryInterface(IID_IEnumVARIANT, reinterpret_cast<void**>(&children));
    if (FAILED(result) || !children) {
        client->Release();
        return Fail("the object does not enumerate its children", result);
    }
    int status = 0;
    // One object: both interfaces answer IUnknown with the same pointer, and the enumeration
    // leads back to the accessible object.
    IAccessible* back = nullptr;
    children->QueryInterface(IID_IAccessible, reinterpret_cast<void**>(&back));
    if (IdentityOf(*children) != IdentityOf(*client) || !back)
        status = Fail("the enumeration is another COM object than the accessible object");
    if (back)
        back->Release();
    long count = 0;
    client->get_accChildCount(&count);
    long enumerated = 0;
    children->Reset();
    VARIANT item;
    ::VariantInit(&item);
    ULONG fetched = 0;
    while (children->Next(1, &item, &fetched) == S_OK && fetched == 1) {
        enumerated += item.vt == VT_I4 ? 1 : 0;
        ::VariantClear(&item);
    }
    if (status == 0 && enumerated != count)
        status = Fail("the enumeration and the child count differ");
    std::printf("children\t%ld\n", enumerated);
    VARIANT selected;
    ::VariantInit(&selected);
    result = client->get_accSelection(&selected);
    if (status == 0 && SUCCEEDED(result) && selected.vt == VT_EMPTY) {
        // Nothing chosen yet: the list opened and its first item chosen by their default
        // actions, as a reader's user does; the program carries them out in its own loop.
        for (long role : { static_cast<long>(ROLE_SYSTEM_COMBOBOX), static_cast<long>(ROLE_SYSTEM_LISTITEM) }) {
            VARIANT child = ChildWithRole(*client, role);
            if (child.vt == VT_I4)
                client->accDoDefaultAction(child);
            ::Sleep(1000);
        }
        result = client->get_accSelection(&selected);
    }
    if (status == 0 && (FAILED(result) || selected.vt != VT_I4))
        status = Fail("no selected item", result);
    if (status == 0)
        std::printf("selected\t%s\n", Utf8(NameOf(*client, selected).c_str()).c_str());
    ::VariantClear(&selected);
    children->Release();
    client->Release();
    return status;
}

int Run(int argc, wchar_t** argv)
{
    if (argc == 2 && std::wstring(argv[1]) == L"selection")
        return Selection();
    bool list = argc == 2 && std::wstring(argv[1]) == L"buttons";
    bool press = argc == 3 && std::wstring(argv[1]) == L"press";
    if (!list && !press)
        return Fail("usage: AccessibilityClient buttons | press NAME | selection");
    HWND window = ::FindWindowW(L"ArkevenWindow", L"Varn MID");
    if (!window)
        return Fail("no window \"Varn MID\"");
    IAccessible* client = nullptr;
    HRESULT result = ::AccessibleObjectFromWindow(window, static_cast<DWORD>(OBJID_CLIENT), IID_IAccessible,
        reinterpret_cast<void**>(&client));
    if (FAILED(result) || !client)
        return Fail("AccessibleObjectFromWindow failed", result);

    VARIANT self;
    ::VariantInit(&self);
    self.vt = VT_I4;
    self.lVal = CHILDID_SELF;
    VARIANT role;
    ::VariantInit(&role);
    if (list)
        std::printf("%ld\t%s\n", LongOf(client->get_accRole(self, &role), role), Utf8(NameOf(*client, self).c_str()).c_str());

    long count = 0;
    client->get_accChildCount(&count);
    std::vector<VARIANT> children(static_cast<size_t>(count > 0 ? count : 0));
    long obtained = 0;
    if (count > 0) {
        result = ::AccessibleChildren(client, 0, count, children.data(), &obtained);
        if (FAILED(result))
            return Fail("AccessibleChildren failed", result);
    }
    int status = 0;
    bool found = false;
    for (long i = 0; i < obtained; ++i) {
        VARIANT& child = children[static_cast<size_t>(i)];
        if (child.vt != VT_I4)
            continue;
        VARIANT value;
        ::VariantInit(&value);
        long childRole = LongOf(client->get_accRole(child, &value), value);
        ::VariantInit(&value);
        long state = LongOf(client->get_accState(child, &value), value);
        if (childRole != ROLE_SYSTEM_PUSHBUTTON || state < 0 || (state & STATE_SYSTEM_INVISIBLE))
            continue;
        std::wstring name = NameOf(*client, child);
        if (list) {
            long left = 0, top = 0, width = 0, height = 0;
            client->accLocation(&left, &top, &width, &height, child);
            std::printf("%ld\t%s\t%ldx%ld\n", childRole, Utf8(name.c_str()).c_str(), width, height);
        } else if (name == argv[2]) {
            found = true;
            result = client->accDoDefaultAction(child);
            status = SUCCEEDED(result) ? 0 : Fail("accDoDefaultAction failed", result);
            if (status == 0)
                std::printf("pressed\t%s\n", Utf8(name.c_str()).c_str());
            break;
        }
    }
    if (press && !found)
        status = Fail("no shown button of that name");
    for (VARIANT& child : children)
        ::VariantClear(&child);
    client->Release();
    return status;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    int status = Run(argc, argv);
    ::CoUninitialize();
    return status;
}
