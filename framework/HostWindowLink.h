#pragma once

#include "framework/Framebuffer.h"
#include "framework/Types.h"
#include "platform/Host.h"
#include "platform/HostAccessibility.h"

#include <memory>
#include <vector>

class CWnd;

// A top-level window's OS window in the host, both ways: made when the window is first shown,
// and what the host says of it (close button, exposure, minimise and restore, a new scale, a
// screen reader's request or action) handed to the window; input goes to its InputRouter.
class HostWindowLink : private platform::HostWindowListener {
public:
    explicit HostWindowLink(CWnd& window);
    ~HostWindowLink() override;
    HostWindowLink(const HostWindowLink&) = delete;
    HostWindowLink& operator=(const HostWindowLink&) = delete;

    // The OS window; null before the first show, without a host, and once the window is gone.
    platform::HostWindow* Window() const { return m_hostWindow.get(); }
    // Makes the OS window unless there is one, with the window's caption, place and scale, and
    // its last accessibility tree.
    void Open();
    void Close() { m_hostWindow.reset(); }

    // Shows `rect` of the window's frame on screen.
    void Present(const Framebuffer& frame, const CRect& rect);

    // Whether a screen reader reads the window now.
    bool WantsAccessibility() const { return m_hostWindow && m_hostWindow->WantsAccessibility(); }
    // The window's tree as it now is and what changed; the tree is kept for an OS window made
    // later.
    void PublishAccessibility(platform::AccessibleTree tree, const std::vector<platform::AccessibleEvent>& events);
    const platform::AccessibleTree& AccessibleTree() const { return m_accessibleTree; }

private:
    void OnHostInput(const platform::HostInput& input) override;

    CWnd& m_window;
    std::unique_ptr<platform::HostWindow> m_hostWindow;
    platform::AccessibleTree m_accessibleTree;
};
