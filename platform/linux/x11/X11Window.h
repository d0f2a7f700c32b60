#pragma once

#include "platform/Host.h"
#include "platform/linux/x11/X11WindowProperties.h"

#include <X11/Xlib.h>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace platform::linux::x11 {

class X11Host;

// One top-level X window of fixed size (skinned windows do not resize by the user). It keeps a
// copy of everything presented, in the screen's pixel format, to repaint exposed parts itself.
class X11Window final : public HostWindow {
public:
    X11Window(X11Host& host, const HostWindowSpec& spec, HostWindowListener& listener);
    ~X11Window() override;
    X11Window(const X11Window&) = delete;
    X11Window& operator=(const X11Window&) = delete;

    Window XId() const { return m_window; }
    const std::string& InstanceName() const { return m_instanceName; }

    void SetCaption(const std::wstring& caption) override;
    void Move(int x, int y) override;
    void Resize(int width, int height) override;
    void Show(ShowState state) override;
    void Raise() override;
    void Present(const PixelView& frame, const HostRect& dirty) override;
    void PublishAccessibility(const AccessibleTree& tree, const std::vector<AccessibleEvent>& events) override;
    bool WantsAccessibility() const override;
    // A screen reader's default action on one of this window's nodes.
    bool DeliverAccessibleAction(std::uint32_t node);
    // A screen reader has come: the listener publishes the tree.
    void DeliverAccessibilityRequest();

    // Called by the host for each X event of this window; returns whether the listener got input.
    bool HandleEvent(const XEvent& event);

private:
    void PutFromBacking(int x, int y, int width, int height);
    bool HandleKey(const XKeyEvent& event);
    bool ConsumedByScreenReader(const XKeyEvent& event, KeySym keysym);
    bool HandleClientMessage(const XClientMessageEvent& event);
    bool IsHiddenByWindowManager() const;
    bool ReportIconicChange();
    bool Deliver(const HostInput& input);

    X11Host& m_host;
    HostWindowListener& m_listener;
    Display* m_display = nullptr;
    Window m_window = 0;
    std::optional<X11WindowProperties> m_properties; // once the window exists
    std::string m_instanceName;
    HostRect m_rect;
    bool m_mapRequested = false;
    // What the window manager made of the window, and what the listener was last told of it.
    bool m_mapped = false;
    bool m_hiddenByWindowManager = false;
    bool m_reportedIconic = false;
    bool m_hasFrame = false;
    bool m_publishedAccessibility = false;
    bool m_shownForAccessibility = false;
    std::vector<std::uint32_t> m_backing; // m_rect.width * m_rect.height screen pixels
};

} // namespace platform::linux::x11
