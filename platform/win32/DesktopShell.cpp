#include "platform/win32/DesktopShell.h"

#include "platform/win32/ComPtr.h"

#include <windows.h>
#include <exdisp.h>
#include <shldisp.h>
#include <shlobj.h>
#include <shlguid.h>

namespace platform::win32 {

namespace {

// A VARIANT cleared when it goes.
class Variant {
public:
    Variant() { ::VariantInit(&m_value); }
    explicit Variant(const wchar_t* text)
    {
        ::VariantInit(&m_value);
        m_value.vt = VT_BSTR;
        m_value.bstrVal = ::SysAllocString(text);
    }
    explicit Variant(int number)
    {
        ::VariantInit(&m_value);
        m_value.vt = VT_I4;
        m_value.lVal = number;
    }
    ~Variant() { ::VariantClear(&m_value); }
    Variant(const Variant&) = delete;
    Variant& operator=(const Variant&) = delete;

    VARIANT& Get() { return m_value; }

private:
    VARIANT m_value;
};

ComPtr<IShellDispatch2> DesktopDispatch()
{
    ComPtr<IShellWindows> windows;
    if (FAILED(::CoCreateInstance(CLSID_ShellWindows, nullptr, CLSCTX_LOCAL_SERVER, IID_IShellWindows, windows.OutVoid())))
        return {};
    // The desktop's window, asked for by its folder (the shell takes the CSIDL in place of the PIDL).
    Variant desktop(static_cast<int>(CSIDL_DESKTOP));
    Variant noRoot;
    long window = 0;
    ComPtr<IDispatch> desktopWindow;
    // S_FALSE, and no interface, when there is no desktop window.
    if (windows->FindWindowSW(&desktop.Get(), &noRoot.Get(), SWC_DESKTOP, &window, SWFO_NEEDDISPATCH, desktopWindow.Out()) != S_OK
        || !desktopWindow)
        return {};
    auto services = desktopWindow.As<IServiceProvider>(IID_IServiceProvider);
    ComPtr<IShellBrowser> browser;
    if (!services || FAILED(services->QueryService(SID_STopLevelBrowser, IID_IShellBrowser, browser.OutVoid())) || !browser)
        return {};
    ComPtr<IShellView> view;
    if (FAILED(browser->QueryActiveShellView(view.Out())) || !view)
        return {};
    ComPtr<IDispatch> background;
    if (FAILED(view->GetItemObject(SVGIO_BACKGROUND, IID_IDispatch, background.OutVoid())) || !background)
        return {};
    auto folderView = background.As<IShellFolderViewDual>(IID_IShellFolderViewDual);
    ComPtr<IDispatch> application;
    if (!folderView || FAILED(folderView->get_Application(application.Out())) || !application)
        return {};
    return application.As<IShellDispatch2>(IID_IShellDispatch2);
}

} // namespace

bool DesktopShell::Open(const std::wstring& path)
{
    auto shell = DesktopDispatch();
    if (!shell)
        return false;
    BSTR file = ::SysAllocString(path.c_str());
    if (!file)
        return false;
    Variant arguments(L"");
    Variant folder(L"");
    Variant operation(L"open");
    Variant show(SW_SHOWNORMAL);
    HRESULT result = shell->ShellExecute(file, arguments.Get(), folder.Get(), operation.Get(), show.Get());
    ::SysFreeString(file);
    return SUCCEEDED(result);
}

} // namespace platform::win32
