#pragma once

#include "platform/HostAccessibility.h"

#include <cstdint>
#include <vector>

namespace platform::linux::atspi {

// Our roles, states and actions in AT-SPI's terms: its AtspiRole and AtspiStateType numbers,
// the role and state names its events and readers use, the names of actions.

// The role of the application object, which has no node of its own.
constexpr std::uint32_t kApplicationRole = 75;

std::uint32_t RoleOf(AccessibleRole role);
const char* RoleName(std::uint32_t atspiRole);

// The state set (two words of AtspiStateType bits) of a node of a window that is shown or not.
std::vector<std::uint32_t> StateSetOf(const AccessibleNode& node, bool windowShown);
// The name an Object:StateChanged event gives one of our states; null when none tells it.
const char* StateChangeName(std::uint32_t state);

const char* ActionName(AccessibleAction action);

} // namespace platform::linux::atspi
