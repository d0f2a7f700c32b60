#pragma once

#include "platform/Host.h"

#include <cstdint>
#include <string>
#include <vector>

namespace platform {

// A window as a screen reader sees it: what the canvas library says its controls are. The
// hosts publish it the way their platform's assistive technology expects; nothing here names
// a platform's accessibility interface.

enum class AccessibleRole {
    Frame,
    Dialog,
    PushButton,
    Label,
    ComboBox,
    ListItem,
    ProgressBar,
};

namespace AccessibleState {
constexpr std::uint32_t Focusable = 1u << 0;
constexpr std::uint32_t Focused = 1u << 1;
constexpr std::uint32_t Unavailable = 1u << 2; // disabled
constexpr std::uint32_t Invisible = 1u << 3;   // hidden, or inside a hidden parent
constexpr std::uint32_t Expanded = 1u << 4;    // an open list
constexpr std::uint32_t Collapsed = 1u << 5;   // a closed list
constexpr std::uint32_t Selectable = 1u << 6;
constexpr std::uint32_t Selected = 1u << 7;
constexpr std::uint32_t Active = 1u << 8;      // a window: the one with the keyboard
}

// The default action a node offers, if any.
enum class AccessibleAction {
    NoAction,
    Press,  // a button
    Open,   // a closed list
    Close,  // an open list
    Select, // an item of a list
};

struct AccessibleNode {
    // 0 is the window itself; every other id is unique within its window and stays the same
    // for the same control (a control's ID, a list item's index folded into its list's ID).
    std::uint32_t id = 0;
    std::uint32_t parent = 0;
    AccessibleRole role = AccessibleRole::Label;
    std::wstring name;
    std::uint32_t states = 0;
    HostRect rect; // screen pixels
    AccessibleAction action = AccessibleAction::NoAction;
    // A progress bar's position in its range; a list's chosen item in valueText.
    bool hasValue = false;
    double value = 0;
    double minimum = 0;
    double maximum = 0;
    std::wstring valueText;

    bool Has(std::uint32_t state) const { return (states & state) != 0; }
};

// Nodes in tree order: nodes[0] is the window, every parent before its children, siblings in
// the order a user tabs or reads through them.
struct AccessibleTree {
    std::vector<AccessibleNode> nodes;

    const AccessibleNode* Find(std::uint32_t id) const
    {
        for (const AccessibleNode& node : nodes) {
            if (node.id == id)
                return &node;
        }
        return nullptr;
    }
};

enum class AccessibleEventKind {
    Focus,            // the keyboard focus is now on `node`
    NameChanged,      // a caption or a static's text
    ValueChanged,     // a bar moved
    StateChanged,     // `state` was set or cleared on `node`
    Shown,
    Hidden,
    SelectionChanged, // a list's chosen item
    ChildrenChanged,  // `node` has other children than before (a list's items)
};

struct AccessibleEvent {
    AccessibleEventKind kind = AccessibleEventKind::Focus;
    std::uint32_t node = 0;
    std::uint32_t state = 0; // StateChanged: the one state that changed
    bool stateSet = false;

    bool operator==(const AccessibleEvent& other) const
    {
        return kind == other.kind && node == other.node && state == other.state && stateSet == other.stateSet;
    }
};

// Where the id of a list's item comes from; ids of controls stay below 0x10000.
constexpr std::uint32_t AccessibleItemId(std::uint32_t listId, std::uint32_t index)
{
    return ((index + 1) << 16) | (listId & 0xFFFF);
}

} // namespace platform
