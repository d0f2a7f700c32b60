#include "uilib/AccessibleTreeDiff.h"

#include <algorithm>

using platform::AccessibleEvent;
using platform::AccessibleEventKind;
using platform::AccessibleNode;
using platform::AccessibleTree;
namespace State = platform::AccessibleState;

namespace {

void AddOnce(std::vector<AccessibleEvent>& events, const AccessibleEvent& event)
{
    if (std::find(events.begin(), events.end(), event) == events.end())
        events.push_back(event);
}

// Showing and focus have events of their own.
constexpr std::uint32_t kPlainStates = State::Focusable | State::Unavailable | State::Expanded | State::Collapsed
    | State::Selectable | State::Selected | State::Active;

} // namespace

std::vector<AccessibleEvent> DiffAccessibleTrees(const AccessibleTree& before, const AccessibleTree& after)
{
    std::vector<AccessibleEvent> events;
    if (before.nodes.empty())
        return events;

    for (const AccessibleNode& old : before.nodes) {
        if (!after.Find(old.id))
            AddOnce(events, { AccessibleEventKind::ChildrenChanged, old.parent });
    }
    std::vector<AccessibleEvent> focus;
    for (const AccessibleNode& node : after.nodes) {
        const AccessibleNode* old = before.Find(node.id);
        if (!old) {
            AddOnce(events, { AccessibleEventKind::ChildrenChanged, node.parent });
            continue;
        }
        bool wasHidden = old->Has(State::Invisible);
        bool hidden = node.Has(State::Invisible);
        if (wasHidden && hidden)
            continue;
        if (wasHidden != hidden)
            events.push_back({ hidden ? AccessibleEventKind::Hidden : AccessibleEventKind::Shown, node.id });
        if (hidden)
            continue;
        if (node.name != old->name)
            events.push_back({ AccessibleEventKind::NameChanged, node.id });
        if (node.hasValue && (node.value != old->value || node.valueText != old->valueText))
            events.push_back({ AccessibleEventKind::ValueChanged, node.id });
        std::uint32_t changed = (node.states ^ old->states) & kPlainStates;
        for (std::uint32_t bit = 1; changed; bit <<= 1) {
            if (!(changed & bit))
                continue;
            changed &= ~bit;
            events.push_back({ AccessibleEventKind::StateChanged, node.id, bit, node.Has(bit) });
        }
        if (node.role == platform::AccessibleRole::ComboBox && node.valueText != old->valueText)
            events.push_back({ AccessibleEventKind::SelectionChanged, node.id });
        if (node.Has(State::Focused) != old->Has(State::Focused) || (node.Has(State::Focused) && wasHidden)) {
            events.push_back({ AccessibleEventKind::StateChanged, node.id, State::Focused, node.Has(State::Focused) });
            if (node.Has(State::Focused))
                focus.push_back({ AccessibleEventKind::Focus, node.id });
        }
    }
    events.insert(events.end(), focus.begin(), focus.end());
    return events;
}
