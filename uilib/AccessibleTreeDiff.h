#pragma once

#include "platform/HostAccessibility.h"

#include <vector>

// The events a screen reader needs to follow a window from `before` to `after`: children
// changed, names, values, states, shown and hidden, a list's choice, and the focus last, so
// it is read after what changed around it. Nothing is raised for nodes that stay hidden, nor
// for a first tree (the window's own appearance says it all).
std::vector<platform::AccessibleEvent> DiffAccessibleTrees(const platform::AccessibleTree& before, const platform::AccessibleTree& after);
