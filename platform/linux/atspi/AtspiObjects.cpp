#include "platform/linux/atspi/AtspiObjects.h"

#include "platform/linux/atspi/AtspiEventSignals.h"
#include "platform/linux/atspi/AtspiPaths.h"

#include <algorithm>

namespace platform::linux::atspi {

AtspiObjects::Window* AtspiObjects::FindWindow(std::uint64_t key)
{
    for (Window& window : m_windows) {
        if (window.key == key)
            return &window;
    }
    return nullptr;
}


std::optional<AtspiObjects::Target> AtspiObjects::Resolve(const std::string& path) const
{
    if (path == AtspiPaths::RootPath)
        return Target {};
    auto named = AtspiPaths::ParseNodePath(path);
    if (!named)
        return std::nullopt;
    for (const Window& window : m_windows) {
        if (window.key != named->first)
            continue;
        if (const AccessibleNode* found = window.tree.Find(named->second))
            return Target { &window, found };
    }
    return std::nullopt;
}

std::vector<std::string> AtspiObjects::ChildPaths(const Target& target) const
{
    std::vector<std::string> paths;
    if (!target.window) {
        for (const Window& window : m_windows) {
            if (!window.tree.nodes.empty())
                paths.push_back(AtspiPaths::NodePath(window.key, 0));
        }
        return paths;
    }
    for (const AccessibleNode& node : target.window->tree.nodes) {
        if (node.id != 0 && node.parent == target.node->id)
            paths.push_back(AtspiPaths::NodePath(target.window->key, node.id));
    }
    return paths;
}

void AtspiObjects::WriteParent(const AtspiPaths& paths, DBusWriter& writer, const Target& target) const
{
    if (!target.window) {
        paths.WriteDesktopReference(writer);
        return;
    }
    // A top-level window is a child of the application, as toolkits make it.
    paths.WriteReference(writer, target.node->id == 0 ? std::string(AtspiPaths::RootPath) : AtspiPaths::NodePath(target.window->key, target.node->parent));
}

int AtspiObjects::IndexInParent(const Target& target) const
{
    if (!target.window)
        return -1;
    Target parent;
    if (target.node->id != 0) {
        parent.window = target.window;
        parent.node = target.window->tree.Find(target.node->parent);
        if (!parent.node)
            return -1;
    }
    std::vector<std::string> siblings = ChildPaths(parent);
    auto it = std::find(siblings.begin(), siblings.end(), AtspiPaths::NodePath(target.window->key, target.node->id));
    return it == siblings.end() ? -1 : static_cast<int>(it - siblings.begin());
}

void AtspiObjects::Publish(const AtspiPaths& paths, std::uint64_t key, const AccessibleTree& tree, const std::vector<AccessibleEvent>& events, std::vector<DBusMessage>& signals)
{
    Window* window = FindWindow(key);
    bool added = !window;
    if (added) {
        m_windows.push_back({ key, {}, false });
        window = &m_windows.back();
    }
    AccessibleTree before = std::move(window->tree);
    window->tree = tree;
    if (paths.BusName().empty())
        return;
    AtspiEventSignals out(paths, signals);
    if (added || before.nodes.empty()) {
        out.WindowAdded(key, static_cast<int>(m_windows.size()) - 1);
        return;
    }
    // Nothing of a hidden window is told: a reader learns of it when it is shown.
    if (window->shown)
        out.Changes(key, before, window->tree, events);
}

void AtspiObjects::SetShown(const AtspiPaths& paths, std::uint64_t key, bool shown, std::vector<DBusMessage>& signals)
{
    Window* window = FindWindow(key);
    if (!window || window->shown == shown)
        return;
    window->shown = shown;
    if (paths.BusName().empty() || window->tree.nodes.empty())
        return;
    AtspiEventSignals(paths, signals).WindowShown(key, window->tree, shown);
}

void AtspiObjects::AnnounceShownWindows(const AtspiPaths& paths, std::vector<DBusMessage>& signals)
{
    if (paths.BusName().empty())
        return;
    AtspiEventSignals out(paths, signals);
    for (const Window& window : m_windows) {
        if (window.shown && !window.tree.nodes.empty())
            out.WindowShown(window.key, window.tree, true);
    }
}

void AtspiObjects::Remove(const AtspiPaths& paths, std::uint64_t key, std::vector<DBusMessage>& signals)
{
    auto it = std::find_if(m_windows.begin(), m_windows.end(), [key](const Window& window) { return window.key == key; });
    if (it == m_windows.end())
        return;
    if (!paths.BusName().empty() && !it->tree.nodes.empty())
        AtspiEventSignals(paths, signals).WindowRemoved(key, it->tree, it->shown, static_cast<int>(it - m_windows.begin()));
    m_windows.erase(it);
}

} // namespace platform::linux::atspi
