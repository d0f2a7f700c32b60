#pragma once

#include "framework/Framebuffer.h"
#include "framework/Types.h"
#include "platform/HostAccessibility.h"

#include <cstdint>

// What a control of the canvas library tells a screen reader about itself, and how one drives
// it: each control describes its own node (role, name, states, place, action, value).
class AccessibleControl {
public:
    virtual ~AccessibleControl() = default;
    // Appends this control's node, then its own children's, to the tree. `windowOrigin` is the
    // screen position of the top-level window's client area.
    virtual void DescribeAccessible(platform::AccessibleTree& tree, CPoint windowOrigin) const = 0;
    // Carries out the default action of `node` (this control or one of its children); false
    // when it has none now (hidden, disabled, not one of this control's nodes).
    virtual bool DoAccessibleAction(std::uint32_t node) = 0;
};
