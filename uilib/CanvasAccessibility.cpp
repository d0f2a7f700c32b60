#include "uilib/CanvasAccessibility.h"

#include "uilib/AccessibleControl.h"
#include "uilib/AccessibleTreeDiff.h"
#include "uilib/CzCanvas.h"

#include <vector>

CanvasAccessibility::CanvasAccessibility(CzCanvas& canvas, platform::AccessibleRole role)
    : m_canvas(canvas)
    , m_role(role)
{
}

platform::AccessibleTree CanvasAccessibility::BuildTree() const
{
    namespace State = platform::AccessibleState;
    const CWnd& window = m_canvas.Window();
    platform::AccessibleTree tree;
    CRect bounds = window.GetWindowRect();
    platform::AccessibleNode windowNode;
    windowNode.id = 0;
    windowNode.role = m_role;
    windowNode.name = window.GetWindowText();
    windowNode.rect = { bounds.left, bounds.top, bounds.Width(), bounds.Height() };
    bool visible = window.IsWindowVisible() && !window.IsMinimized();
    bool enabled = window.IsWindowEnabled();
    windowNode.states = (visible ? 0 : State::Invisible) | (enabled ? 0 : State::Unavailable)
        | (visible && enabled ? State::Active : 0);
    tree.nodes.push_back(std::move(windowNode));
    // The skin's fixed labels (a dialog's title) are text a user reads too; they lie under the
    // controls, in the window's header, so they come first.
    if (const WindowSkin* skin = m_canvas.Skin()) {
        const std::vector<Decoration>& decorations = skin->Layout().decorations;
        for (std::size_t index = 0; index < decorations.size(); ++index) {
            const Decoration& decoration = decorations[index];
            if (decoration.kind != Decoration::Kind::Label || decoration.text.empty())
                continue;
            platform::AccessibleNode label;
            label.id = kDecorationNodeBase + static_cast<std::uint32_t>(index);
            label.role = platform::AccessibleRole::Label;
            label.name = decoration.text;
            CRect rect = decoration.rect.Offset(bounds.left, bounds.top);
            label.rect = { rect.left, rect.top, rect.Width(), rect.Height() };
            label.states = visible ? 0 : State::Invisible;
            tree.nodes.push_back(std::move(label));
        }
    }
    for (const AccessibleControl* control : m_canvas.ReadingOrder())
        control->DescribeAccessible(tree, { bounds.left, bounds.top });
    // A dialog without a caption is known by its first line of text, its title.
    if (tree.nodes[0].name.empty()) {
        for (const platform::AccessibleNode& node : tree.nodes) {
            if (node.role == platform::AccessibleRole::Label && !node.Has(State::Invisible) && !node.name.empty()) {
                tree.nodes[0].name = node.name;
                break;
            }
        }
    }
    return tree;
}

void CanvasAccessibility::Refresh()
{
    CWnd& window = m_canvas.Window();
    if (!window.IsAccessibilityWanted())
        return;
    platform::AccessibleTree tree = BuildTree();
    std::vector<platform::AccessibleEvent> events = DiffAccessibleTrees(window.GetAccessibleTree(), tree);
    window.PublishAccessibility(std::move(tree), events);
}

bool CanvasAccessibility::DoAction(std::uint32_t node)
{
    for (AccessibleControl* control : std::vector<AccessibleControl*>(m_canvas.ReadingOrder())) {
        // The action may run a modal dialog or end this window: nothing is touched after it.
        if (control->DoAccessibleAction(node))
            return true;
    }
    return false;
}
