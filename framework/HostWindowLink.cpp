#include "framework/HostWindowLink.h"

#include "framework/CWinApp.h"
#include "framework/CWnd.h"
#include "framework/Messages.h"

HostWindowLink::HostWindowLink(CWnd& window)
    : m_window(window)
{
}

HostWindowLink::~HostWindowLink() = default;

void HostWindowLink::Open()
{
    if (m_hostWindow || !m_window.IsTopLevel())
        return;
    CWinApp* app = AfxGetApp();
    if (!app)
        return;
    const CRect& rect = m_window.GetRelativeRect();
    platform::HostWindowSpec spec;
    spec.caption = m_window.GetWindowText();
    spec.instanceName = m_window.GetInstanceName();
    spec.rect = { rect.left, rect.top, rect.Width(), rect.Height() };
    spec.scale = m_window.m_scale;
    // A dialog stays with its owner on screen; over a hidden owner (the hidden selection) it
    // stands alone, since window managers may keep a hidden owner's dialogs out of sight too.
    if (CWnd* owner = m_window.GetOwner(); owner && owner->IsWindowVisible())
        spec.transientFor = owner->GetHostWindow();
    m_hostWindow = app->GetHost().CreateHostWindow(spec, *this);
    if (m_hostWindow && !m_accessibleTree.nodes.empty())
        m_hostWindow->PublishAccessibility(m_accessibleTree, {});
}

void HostWindowLink::Present(const Framebuffer& frame, const CRect& rect)
{
    if (!m_hostWindow)
        return;
    m_hostWindow->Present({ frame.Data(), frame.Width(), frame.Height(), frame.Width() },
        { rect.left, rect.top, rect.Width(), rect.Height() });
}

void HostWindowLink::PublishAccessibility(platform::AccessibleTree tree, const std::vector<platform::AccessibleEvent>& events)
{
    m_accessibleTree = std::move(tree);
    if (m_hostWindow)
        m_hostWindow->PublishAccessibility(m_accessibleTree, events);
}

void HostWindowLink::OnHostInput(const platform::HostInput& input)
{
    using Kind = platform::HostInput::Kind;
    CWinApp* app = AfxGetApp();
    if (!app || !m_window.GetSafeHwnd())
        return;
    // A reader's request is no input of the user's: it says nothing of the keys held.
    if (input.kind == Kind::AccessibilityRequested) {
        m_window.OnAccessibilityRequested();
        return;
    }
    app->SetKeyDown(VK_CONTROL, input.ctrl);
    app->SetKeyDown(VK_MENU, input.alt);
    app->SetKeyDown(VK_SHIFT, input.shift);

    switch (input.kind) {
    case Kind::CloseRequest:
        if (m_window.IsWindowEnabled())
            m_window.OnHostCloseRequest();
        return;
    case Kind::Exposed:
        m_window.PaintAndPresent(m_window.m_frame->Bounds());
        return;
    case Kind::Iconified:
    case Kind::Restored:
        // Without this the next SW_MINIMIZE after a restore by the desktop would look like no
        // change and never reach the host. A hidden window stays hidden whatever the OS says.
        if (m_window.m_visible)
            m_window.m_minimized = input.kind == Kind::Iconified;
        return;
    case Kind::ScaleChanged: {
        if (input.scale == m_window.m_scale || input.scale <= 0)
            return;
        m_window.m_scale = input.scale;
        auto dpi = static_cast<UINT>(input.scale * 96 + 0.5);
        CRect suggested { input.rect.x, input.rect.y, input.rect.x + input.rect.width, input.rect.y + input.rect.height };
        m_window.SendMessage(WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&suggested));
        return;
    }
    case Kind::AccessibilityRequested:
        return; // above
    case Kind::AccessibleAction:
        // As for a click: nothing reaches a window a modal dialog has disabled.
        if (m_window.IsWindowEnabled())
            m_window.OnAccessibleAction(input.node);
        return;
    default:
        m_window.m_input.Deliver(input);
        return;
    }
}
