#pragma once

#include "platform/HostAccessibility.h"
#include "platform/linux/atspi/DBusMessage.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace platform::linux::atspi {

class AtspiPaths;
class DBusWriter;

// The program's windows as a tree of AT-SPI objects under the application object: each
// window's last tree and whether it is shown, object paths resolved to nodes, every object's
// children, parent and place among its siblings; a window's changes go out as events.
class AtspiObjects {
public:
    struct Window {
        std::uint64_t key = 0;
        AccessibleTree tree;
        bool shown = false;
    };
    // One object: a node of a window, or the application object.
    struct Target {
        const Window* window = nullptr; // null: the application object
        const AccessibleNode* node = nullptr;
    };

    // Signals go to `signals`, none while `paths` has no bus name, as nobody listens then.
    void Publish(const AtspiPaths& paths, std::uint64_t window, const AccessibleTree& tree, const std::vector<AccessibleEvent>& events, std::vector<DBusMessage>& signals);
    void SetShown(const AtspiPaths& paths, std::uint64_t window, bool shown, std::vector<DBusMessage>& signals);
    void Remove(const AtspiPaths& paths, std::uint64_t window, std::vector<DBusMessage>& signals);
    void AnnounceShownWindows(const AtspiPaths& paths, std::vector<DBusMessage>& signals);

    std::optional<Target> Resolve(const std::string& path) const;
    std::vector<std::string> ChildPaths(const Target& target) const;
    // The parent's reference; the application's parent is the desktop.
    void WriteParent(const AtspiPaths& paths, DBusWriter& writer, const Target& target) const;
    int IndexInParent(const Target& target) const;

private:
    Window* FindWindow(std::uint64_t key);

    std::vector<Window> m_windows; // creation order
};

} // namespace platform::linux::atspi
