#pragma once

#include "platform/HostAccessibility.h"
#include "platform/linux/atspi/AtspiObjects.h"
#include "platform/linux/atspi/AtspiPaths.h"
#include "platform/linux/atspi/DBusMessage.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace platform::linux::atspi {

// The program's windows as AT-SPI objects on the accessibility bus: answers the calls of the
// Accessible, Component, Action, Value, Text and Application interfaces (and Properties) from
// the trees the windows last published; their changes go out as AtspiEventSignals.
// Holds no lock and touches no socket: AtspiBridge does both.
class AtspiServer {
public:
    struct Action {
        std::uint64_t window = 0;
        std::uint32_t node = 0;
    };

    // Our unique name on the bus, once connected (references carry it); empty before.
    void SetBusName(std::string name) { m_paths.SetBusName(std::move(name)); }
    const std::string& BusName() const { return m_paths.BusName(); }
    void SetDesktop(std::string busName, std::string path) { m_paths.SetDesktop(std::move(busName), std::move(path)); }

    // The window's tree and what changed; signals to send go to `signals` (none while no
    // bus name is set, as nobody listens then).
    void Publish(std::uint64_t window, const AccessibleTree& tree, const std::vector<AccessibleEvent>& events, std::vector<DBusMessage>& signals);
    void SetShown(std::uint64_t window, bool shown, std::vector<DBusMessage>& signals);
    void Remove(std::uint64_t window, std::vector<DBusMessage>& signals);
    // Just registered: the windows on screen appear to the readers now (created, activated,
    // their focus).
    void AnnounceShownWindows(std::vector<DBusMessage>& signals);

    // The reply to a method call addressed to us; nullopt for messages that need none.
    std::optional<DBusMessage> Answer(const DBusMessage& call);
    // Actions asked for since the last call, oldest first.
    std::vector<Action> TakeActions();
    bool HasActions() const { return !m_actions.empty(); }

    static constexpr const char* RootPath = AtspiPaths::RootPath;

private:
    using Target = AtspiObjects::Target;

    std::vector<std::uint32_t> States(const Target& target) const;
    std::vector<std::string> Interfaces(const Target& target) const;
    std::uint32_t Role(const Target& target) const;

    std::optional<DBusMessage> AnswerAccessible(const DBusMessage& call, const Target& target);
    std::optional<DBusMessage> AnswerComponent(const DBusMessage& call, const Target& target);
    std::optional<DBusMessage> AnswerAction(const DBusMessage& call, const Target& target);
    std::optional<DBusMessage> AnswerText(const DBusMessage& call, const Target& target);
    std::optional<DBusMessage> AnswerApplication(const DBusMessage& call, const Target& target);
    std::optional<DBusMessage> AnswerProperties(const DBusMessage& call, const Target& target);
    // Writes a property's value as a variant; false when the interface has no such property.
    bool WriteProperty(class DBusWriter& writer, const std::string& interface, const std::string& name, const Target& target) const;
    std::vector<std::string> PropertyNames(const std::string& interface, const Target& target) const;

    AtspiPaths m_paths;
    std::int32_t m_applicationId = 0;
    AtspiObjects m_objects;
    std::vector<Action> m_actions;
};

} // namespace platform::linux::atspi
