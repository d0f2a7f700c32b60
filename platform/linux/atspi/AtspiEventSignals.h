#pragma once

#include "platform/HostAccessibility.h"
#include "platform/linux/atspi/DBusMessage.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace platform::linux::atspi {

class AtspiPaths;
class DBusWriter;

// A window's changes as AT-SPI's event signals, the ones screen readers listen for:
// Object:StateChanged, PropertyChange, TextChanged, ValueChanged, ChildrenChanged and
// SelectionChanged, Focus, and Window:Create/Activate/Deactivate/Destroy. Appends them to
// `signals` in the order a reader should hear them.
class AtspiEventSignals {
public:
    AtspiEventSignals(const AtspiPaths& paths, std::vector<DBusMessage>& signals);

    // The window's first tree: it is now the root's child at `index`.
    void WindowAdded(std::uint64_t window, int index);
    // The window goes; `tree` is its last, `index` its place under the root.
    void WindowRemoved(std::uint64_t window, const AccessibleTree& tree, bool wasShown, int index);
    void WindowShown(std::uint64_t window, const AccessibleTree& tree, bool shown);
    // From `before` to `after`, as the canvas told it in `events`.
    void Changes(std::uint64_t window, const AccessibleTree& before, const AccessibleTree& after, const std::vector<AccessibleEvent>& events);

private:
    // An Object event's fixed part; Emit adds its any_data and the empty property dictionary.
    DBusMessage ObjectEvent(const std::string& path, const char* member, const std::string& detail, int detail1, int detail2) const;
    void Emit(DBusMessage signal, const std::function<void(DBusWriter&)>& anyData);
    void StateEvent(std::uint64_t window, std::uint32_t node, const char* state, bool set);
    void WindowEvent(std::uint64_t window, const AccessibleTree& tree, const char* member);
    void WindowActivated(std::uint64_t window, const AccessibleTree& tree);
    void ChildEvent(std::uint64_t window, const AccessibleTree& tree, const AccessibleNode& child, const char* detail);
    void EventSignals(std::uint64_t window, const AccessibleTree& before, const AccessibleTree& after, const AccessibleEvent& event);

    const AtspiPaths& m_paths;
    std::vector<DBusMessage>& m_signals;
};

} // namespace platform::linux::atspi
