#pragma once

#include "platform/HostAccessibility.h"

#include <cstdint>

class CzCanvas;

// A canvas window's accessibility tree: the window's node, the skin's fixed labels, then every
// control's own nodes in reading order; published with what changed since the last one.
class CanvasAccessibility {
public:
    CanvasAccessibility(CzCanvas& canvas, platform::AccessibleRole role);
    CanvasAccessibility(const CanvasAccessibility&) = delete;
    CanvasAccessibility& operator=(const CanvasAccessibility&) = delete;

    // Node ids of the skin's fixed labels: this plus the label's index; no control has one.
    static constexpr std::uint32_t kDecorationNodeBase = 0xF000;

    // The window's tree from its controls as they are now.
    platform::AccessibleTree BuildTree() const;
    // Publishes the tree with what changed since the last time, while a screen reader reads
    // the window.
    void Refresh();
    // A screen reader's default action on a node; false when the node has none now.
    bool DoAction(std::uint32_t node);

private:
    CzCanvas& m_canvas;
    platform::AccessibleRole m_role;
};
