#include "platform/linux/atspi/AtspiEventSignals.h"

#include "platform/files/Utf8.h"
#include "platform/linux/atspi/AtspiPaths.h"
#include "platform/linux/atspi/AtspiRolesAndStates.h"
#include "platform/linux/atspi/DBusWriter.h"

#include <algorithm>

namespace platform::linux::atspi {

namespace {

namespace State = platform::AccessibleState;

constexpr const char* kEventObject = "org.a11y.atspi.Event.Object";
constexpr const char* kEventWindow = "org.a11y.atspi.Event.Window";
constexpr const char* kEventFocus = "org.a11y.atspi.Event.Focus";

void NoData(DBusWriter& writer)
{
    writer.BeginVariant("i");
    writer.Int32(0);
}

std::function<void(DBusWriter&)> TextData(std::string text)
{
    return [text = std::move(text)](DBusWriter& writer) {
        writer.BeginVariant("s");
        writer.String(text);
    };
}

} // namespace

AtspiEventSignals::AtspiEventSignals(const AtspiPaths& paths, std::vector<DBusMessage>& signals)
    : m_paths(paths)
    , m_signals(signals)
{
}

DBusMessage AtspiEventSignals::ObjectEvent(const std::string& path, const char* member, const std::string& detail, int detail1, int detail2) const
{
    DBusMessage signal = DBusMessage::Signal(path, kEventObject, member);
    signal.signature = "siiva{sv}";
    DBusWriter writer;
    writer.String(detail);
    writer.Int32(detail1);
    writer.Int32(detail2);
    signal.bytes = writer.Take();
    return signal;
}

void AtspiEventSignals::Emit(DBusMessage signal, const std::function<void(DBusWriter&)>& anyData)
{
    DBusWriter writer;
    writer.Raw(signal.bytes.data(), signal.bytes.size());
    anyData(writer);
    std::size_t properties = writer.BeginArray(8);
    writer.EndArray(properties);
    signal.bytes = writer.Take();
    m_signals.push_back(std::move(signal));
}

void AtspiEventSignals::StateEvent(std::uint64_t window, std::uint32_t node, const char* state, bool set)
{
    Emit(ObjectEvent(AtspiPaths::NodePath(window, node), "StateChanged", state, set ? 1 : 0, 0), NoData);
}

void AtspiEventSignals::WindowEvent(std::uint64_t window, const AccessibleTree& tree, const char* member)
{
    DBusMessage signal = ObjectEvent(AtspiPaths::NodePath(window, 0), member, "", 0, 0);
    signal.interface = kEventWindow;
    const AccessibleNode* root = tree.Find(0);
    Emit(std::move(signal), TextData(root ? ToUtf8(root->name) : std::string()));
}

void AtspiEventSignals::ChildEvent(std::uint64_t window, const AccessibleTree& tree, const AccessibleNode& child, const char* detail)
{
    int index = 0;
    for (const AccessibleNode& sibling : tree.nodes) {
        if (sibling.id == child.id)
            break;
        if (sibling.id != 0 && sibling.parent == child.parent)
            ++index;
    }
    std::string path = AtspiPaths::NodePath(window, child.id);
    Emit(ObjectEvent(AtspiPaths::NodePath(window, child.parent), "ChildrenChanged", detail, index, 0), [&](DBusWriter& writer) {
        writer.BeginVariant("(so)");
        m_paths.WriteReference(writer, path);
    });
}

void AtspiEventSignals::WindowAdded(std::uint64_t window, int index)
{
    std::string child = AtspiPaths::NodePath(window, 0);
    Emit(ObjectEvent(AtspiPaths::RootPath, "ChildrenChanged", "add", index, 0), [&](DBusWriter& writer) {
        writer.BeginVariant("(so)");
        m_paths.WriteReference(writer, child);
    });
}

void AtspiEventSignals::WindowRemoved(std::uint64_t window, const AccessibleTree& tree, bool wasShown, int index)
{
    if (wasShown)
        WindowEvent(window, tree, "Deactivate");
    WindowEvent(window, tree, "Destroy");
    std::string child = AtspiPaths::NodePath(window, 0);
    Emit(ObjectEvent(AtspiPaths::RootPath, "ChildrenChanged", "remove", index, 0), [&](DBusWriter& writer) {
        writer.BeginVariant("(so)");
        m_paths.WriteReference(writer, child);
    });
}

void AtspiEventSignals::WindowShown(std::uint64_t window, const AccessibleTree& tree, bool shown)
{
    StateEvent(window, 0, "visible", shown);
    StateEvent(window, 0, "showing", shown);
    if (!shown) {
        WindowEvent(window, tree, "Deactivate");
        StateEvent(window, 0, "active", false);
        return;
    }
    WindowEvent(window, tree, "Create");
    if (tree.nodes[0].Has(State::Active))
        WindowActivated(window, tree);
}

void AtspiEventSignals::WindowActivated(std::uint64_t window, const AccessibleTree& tree)
{
    WindowEvent(window, tree, "Activate");
    StateEvent(window, 0, "active", true);
    // A reader that follows the activation asks where the focus is: tell it, as toolkits do
    // when a window opens or gets the keyboard back from a dialog.
    for (const AccessibleNode& node : tree.nodes) {
        if (node.Has(State::Focused) && !node.Has(State::Invisible)) {
            EventSignals(window, tree, tree, { AccessibleEventKind::Focus, node.id });
            StateEvent(window, node.id, "focused", true);
        }
    }
}

void AtspiEventSignals::Changes(std::uint64_t window, const AccessibleTree& before, const AccessibleTree& after, const std::vector<AccessibleEvent>& events)
{
    bool childrenChanged = std::any_of(events.begin(), events.end(), [](const AccessibleEvent& event) {
        return event.kind == AccessibleEventKind::ChildrenChanged;
    });
    if (childrenChanged) {
        for (const AccessibleNode& node : before.nodes) {
            if (node.id != 0 && !after.Find(node.id))
                ChildEvent(window, before, node, "remove");
        }
        for (const AccessibleNode& node : after.nodes) {
            if (node.id != 0 && !before.Find(node.id))
                ChildEvent(window, after, node, "add");
        }
    }
    for (const AccessibleEvent& event : events)
        EventSignals(window, before, after, event);
}

void AtspiEventSignals::EventSignals(std::uint64_t window, const AccessibleTree& before, const AccessibleTree& after, const AccessibleEvent& event)
{
    const AccessibleNode* node = after.Find(event.node);
    if (!node)
        return;
    std::string path = AtspiPaths::NodePath(window, node->id);
    switch (event.kind) {
    case AccessibleEventKind::Focus: {
        DBusMessage focus = ObjectEvent(path, "Focus", "", 0, 0);
        focus.interface = kEventFocus;
        Emit(std::move(focus), NoData);
        return;
    }
    case AccessibleEventKind::NameChanged: {
        Emit(ObjectEvent(path, "PropertyChange", "accessible-name", 0, 0), TextData(ToUtf8(node->name)));
        if (node->role != AccessibleRole::Label)
            return;
        // A static's text is its name: readers follow text as removed and inserted.
        const AccessibleNode* old = before.Find(node->id);
        if (old && !old->name.empty())
            Emit(ObjectEvent(path, "TextChanged", "delete", 0, static_cast<int>(old->name.size())), TextData(ToUtf8(old->name)));
        if (!node->name.empty())
            Emit(ObjectEvent(path, "TextChanged", "insert", 0, static_cast<int>(node->name.size())), TextData(ToUtf8(node->name)));
        return;
    }
    case AccessibleEventKind::ValueChanged: {
        // Only a bar has the Value interface; a list tells its choice as a selection change.
        if (node->role != AccessibleRole::ProgressBar)
            return;
        auto value = [node](DBusWriter& writer) {
            writer.BeginVariant("d");
            writer.Double(node->value);
        };
        Emit(ObjectEvent(path, "PropertyChange", "accessible-value", 0, 0), value);
        Emit(ObjectEvent(path, "ValueChanged", "", 0, 0), value);
        return;
    }
    case AccessibleEventKind::StateChanged:
        if (node->id == 0 && event.state == State::Active) {
            if (event.stateSet) {
                WindowActivated(window, after);
                return;
            }
            WindowEvent(window, after, "Deactivate");
        }
        if (const char* name = StateChangeName(event.state))
            StateEvent(window, node->id, name, event.state == State::Unavailable ? !event.stateSet : event.stateSet);
        if (event.state == State::Unavailable)
            StateEvent(window, node->id, "sensitive", !event.stateSet);
        return;
    case AccessibleEventKind::Shown:
    case AccessibleEventKind::Hidden: {
        bool shown = event.kind == AccessibleEventKind::Shown;
        StateEvent(window, node->id, "visible", shown);
        StateEvent(window, node->id, "showing", shown);
        return;
    }
    case AccessibleEventKind::SelectionChanged:
        Emit(ObjectEvent(path, "SelectionChanged", "", 0, 0), NoData);
        return;
    case AccessibleEventKind::ChildrenChanged:
        return; // told child by child in Changes
    }
}

} // namespace platform::linux::atspi
