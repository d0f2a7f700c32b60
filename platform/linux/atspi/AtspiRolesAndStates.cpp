#include "platform/linux/atspi/AtspiRolesAndStates.h"

namespace platform::linux::atspi {

namespace {

namespace State = platform::AccessibleState;

// AtspiRole and AtspiStateType values.
enum AtspiRole : std::uint32_t {
    RoleComboBox = 11,
    RoleDialog = 16,
    RoleFrame = 23,
    RoleLabel = 29,
    RoleListItem = 32,
    RoleProgressBar = 42,
    RolePushButton = 43,
    RoleApplication = kApplicationRole,
};
enum AtspiState : std::uint32_t {
    StateActive = 1,
    StateCollapsed = 5,
    StateEnabled = 8,
    StateExpandable = 9,
    StateExpanded = 10,
    StateFocusable = 11,
    StateFocused = 12,
    StateSelectable = 22,
    StateSelected = 23,
    StateSensitive = 24,
    StateShowing = 25,
    StateVisible = 30,
};

} // namespace

std::uint32_t RoleOf(AccessibleRole role)
{
    switch (role) {
    case AccessibleRole::Frame: return RoleFrame;
    case AccessibleRole::Dialog: return RoleDialog;
    case AccessibleRole::PushButton: return RolePushButton;
    case AccessibleRole::Label: return RoleLabel;
    case AccessibleRole::ComboBox: return RoleComboBox;
    case AccessibleRole::ListItem: return RoleListItem;
    case AccessibleRole::ProgressBar: return RoleProgressBar;
    }
    return RoleLabel;
}

const char* RoleName(std::uint32_t atspiRole)
{
    switch (atspiRole) {
    case RoleComboBox: return "combo box";
    case RoleDialog: return "dialog";
    case RoleFrame: return "frame";
    case RoleLabel: return "label";
    case RoleListItem: return "list item";
    case RoleProgressBar: return "progress bar";
    case RolePushButton: return "push button";
    default: return "application";
    }
}

std::vector<std::uint32_t> StateSetOf(const AccessibleNode& node, bool windowShown)
{
    std::uint32_t bits = 0;
    auto set = [&bits](std::uint32_t state) { bits |= 1u << state; };
    if (!node.Has(State::Unavailable)) {
        set(StateEnabled);
        set(StateSensitive);
    }
    if (windowShown && !node.Has(State::Invisible)) {
        set(StateVisible);
        set(StateShowing);
        if (node.Has(State::Active))
            set(StateActive);
    }
    if (node.Has(State::Focusable))
        set(StateFocusable);
    if (node.Has(State::Focused))
        set(StateFocused);
    if (node.role == AccessibleRole::ComboBox)
        set(StateExpandable);
    if (node.Has(State::Expanded))
        set(StateExpanded);
    if (node.Has(State::Collapsed))
        set(StateCollapsed);
    if (node.Has(State::Selectable))
        set(StateSelectable);
    if (node.Has(State::Selected))
        set(StateSelected);
    return { bits, 0 };
}

const char* StateChangeName(std::uint32_t state)
{
    if (state == State::Focusable) return "focusable";
    if (state == State::Focused) return "focused";
    if (state == State::Unavailable) return "enabled";
    if (state == State::Expanded) return "expanded";
    if (state == State::Collapsed) return "collapsed";
    if (state == State::Selectable) return "selectable";
    if (state == State::Selected) return "selected";
    if (state == State::Active) return "active";
    return nullptr;
}

const char* ActionName(AccessibleAction action)
{
    switch (action) {
    case AccessibleAction::Press: return "press";
    case AccessibleAction::Open: return "open";
    case AccessibleAction::Close: return "close";
    case AccessibleAction::Select: return "select";
    case AccessibleAction::NoAction: break;
    }
    return "";
}

} // namespace platform::linux::atspi
