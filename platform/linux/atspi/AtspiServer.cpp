#include "platform/linux/atspi/AtspiServer.h"

#include "platform/files/Utf8.h"
#include "platform/linux/atspi/AtspiEventSignals.h"
#include "platform/linux/atspi/AtspiRolesAndStates.h"
#include "platform/linux/atspi/DBusReader.h"
#include "platform/linux/atspi/DBusWriter.h"

#include <algorithm>
#include <functional>
#include <utility>

namespace platform::linux::atspi {

namespace {

namespace State = platform::AccessibleState;

constexpr const char* kAccessible = "org.a11y.atspi.Accessible";
constexpr const char* kComponent = "org.a11y.atspi.Component";
constexpr const char* kAction = "org.a11y.atspi.Action";
constexpr const char* kValue = "org.a11y.atspi.Value";
constexpr const char* kText = "org.a11y.atspi.Text";
constexpr const char* kApplication = "org.a11y.atspi.Application";
constexpr const char* kProperties = "org.freedesktop.DBus.Properties";
constexpr const char* kIntrospectable = "org.freedesktop.DBus.Introspectable";
constexpr const char* kNullPath = AtspiPaths::NullPath;

DBusMessage Reply(const DBusMessage& call, const char* signature, const std::function<void(DBusWriter&)>& write)
{
    DBusMessage reply = call.ReplyTo();
    reply.signature = signature;
    DBusWriter writer;
    if (write)
        write(writer);
    reply.bytes = writer.Take();
    return reply;
}

std::optional<DBusMessage> Unknown(const DBusMessage& call)
{
    if (call.flags & DBusMessage::NoReplyExpected)
        return std::nullopt;
    return call.ErrorReply("org.freedesktop.DBus.Error.UnknownMethod");
}

std::string Utf8Range(const std::wstring& text, std::int32_t start, std::int32_t end)
{
    auto size = static_cast<std::int32_t>(text.size());
    if (end < 0 || end > size)
        end = size;
    start = std::clamp(start, 0, end);
    return ToUtf8(text.substr(static_cast<std::size_t>(start), static_cast<std::size_t>(end - start)));
}

bool IsTextRole(AccessibleRole role)
{
    return role == AccessibleRole::Label;
}

} // namespace

std::uint32_t AtspiServer::Role(const Target& target) const
{
    return target.window ? RoleOf(target.node->role) : kApplicationRole;
}

std::vector<std::uint32_t> AtspiServer::States(const Target& target) const
{
    if (!target.window)
        return { 0, 0 };
    return StateSetOf(*target.node, target.window->shown);
}

std::vector<std::string> AtspiServer::Interfaces(const Target& target) const
{
    if (!target.window)
        return { kAccessible, kApplication };
    std::vector<std::string> interfaces { kAccessible, kComponent };
    if (target.node->action != AccessibleAction::NoAction)
        interfaces.push_back(kAction);
    if (target.node->role == AccessibleRole::ProgressBar)
        interfaces.push_back(kValue);
    if (IsTextRole(target.node->role))
        interfaces.push_back(kText);
    return interfaces;
}

std::vector<std::string> AtspiServer::PropertyNames(const std::string& interface, const Target& target) const
{
    if (interface == kAccessible)
        return { "Name", "Description", "Parent", "ChildCount", "Locale", "AccessibleId", "HelpText" };
    if (interface == kApplication && !target.window)
        return { "ToolkitName", "Version", "AtspiVersion", "Id" };
    if (interface == kAction && target.window)
        return { "NActions" };
    if (interface == kValue && target.window && target.node->hasValue)
        return { "MinimumValue", "MaximumValue", "MinimumIncrement", "CurrentValue", "Text" };
    if (interface == kText && target.window && IsTextRole(target.node->role))
        return { "CharacterCount", "CaretOffset" };
    return {};
}

bool AtspiServer::WriteProperty(DBusWriter& writer, const std::string& interface, const std::string& name, const Target& target) const
{
    std::vector<std::string> names = PropertyNames(interface, target);
    if (std::find(names.begin(), names.end(), name) == names.end())
        return false;
    auto text = [&writer](const std::string& value) {
        writer.BeginVariant("s");
        writer.String(value);
    };
    auto integer = [&writer](std::int32_t value) {
        writer.BeginVariant("i");
        writer.Int32(value);
    };
    auto real = [&writer](double value) {
        writer.BeginVariant("d");
        writer.Double(value);
    };
    const AccessibleNode* node = target.node;
    if (name == "Name")
        text(node ? ToUtf8(node->name) : "Arkeven");
    else if (name == "Description" || name == "HelpText" || name == "AccessibleId")
        text("");
    else if (name == "Locale")
        text("");
    else if (name == "Parent") {
        writer.BeginVariant("(so)");
        m_objects.WriteParent(m_paths, writer, target);
    } else if (name == "ChildCount")
        integer(static_cast<std::int32_t>(m_objects.ChildPaths(target).size()));
    else if (name == "ToolkitName")
        text("Arkeven");
    else if (name == "Version")
        text("1.0");
    else if (name == "AtspiVersion")
        text("2.1");
    else if (name == "Id")
        integer(m_applicationId);
    else if (name == "NActions")
        integer(node->action == AccessibleAction::NoAction ? 0 : 1);
    else if (name == "MinimumValue")
        real(node->minimum);
    else if (name == "MaximumValue")
        real(node->maximum);
    else if (name == "MinimumIncrement")
        real(1);
    else if (name == "CurrentValue")
        real(node->value);
    else if (name == "Text")
        text(ToUtf8(node->valueText));
    else if (name == "CharacterCount")
        integer(static_cast<std::int32_t>(node->name.size()));
    else if (name == "CaretOffset")
        integer(0);
    return true;
}

std::optional<DBusMessage> AtspiServer::AnswerProperties(const DBusMessage& call, const Target& target)
{
    DBusReader reader(call.bytes, call.bodyOffset, call.bytes.size());
    std::string interface = reader.String();
    if (call.member == "Get" && call.signature == "ss") {
        std::string name = reader.String();
        DBusWriter writer;
        if (reader.Failed() || !WriteProperty(writer, interface, name, target))
            return call.ErrorReply("org.freedesktop.DBus.Error.UnknownProperty");
        DBusMessage reply = call.ReplyTo();
        reply.signature = "v";
        reply.bytes = writer.Take();
        return reply;
    }
    if (call.member == "GetAll" && call.signature == "s") {
        return Reply(call, "a{sv}", [&](DBusWriter& writer) {
            std::size_t array = writer.BeginArray(8);
            for (const std::string& name : PropertyNames(interface, target)) {
                writer.BeginStruct();
                writer.String(name);
                WriteProperty(writer, interface, name, target);
            }
            writer.EndArray(array);
        });
    }
    if (call.member == "Set" && call.signature == "ssv") {
        // The registry numbers the applications it knows.
        std::string name = reader.String();
        std::string type = reader.Signature();
        if (!target.window && interface == kApplication && name == "Id" && type == "i") {
            std::int32_t id = reader.Int32();
            if (!reader.Failed())
                m_applicationId = id;
            return Reply(call, "", nullptr);
        }
        return call.ErrorReply("org.freedesktop.DBus.Error.PropertyReadOnly");
    }
    return Unknown(call);
}

std::optional<DBusMessage> AtspiServer::AnswerAccessible(const DBusMessage& call, const Target& target)
{
    const std::string& member = call.member;
    if (member == "GetChildren") {
        return Reply(call, "a(so)", [&](DBusWriter& writer) {
            std::size_t array = writer.BeginArray(8);
            for (const std::string& path : m_objects.ChildPaths(target))
                m_paths.WriteReference(writer, path);
            writer.EndArray(array);
        });
    }
    if (member == "GetChildAtIndex" && call.signature == "i") {
        DBusReader reader(call.bytes, call.bodyOffset, call.bytes.size());
        std::int32_t index = reader.Int32();
        std::vector<std::string> children = m_objects.ChildPaths(target);
        std::string path = index >= 0 && static_cast<std::size_t>(index) < children.size() ? children[static_cast<std::size_t>(index)] : kNullPath;
        return Reply(call, "(so)", [&](DBusWriter& writer) { m_paths.WriteReference(writer, path); });
    }
    if (member == "GetIndexInParent")
        return Reply(call, "i", [&](DBusWriter& writer) { writer.Int32(m_objects.IndexInParent(target)); });
    if (member == "GetRelationSet") {
        return Reply(call, "a(ua(so))", [](DBusWriter& writer) {
            std::size_t array = writer.BeginArray(8);
            writer.EndArray(array);
        });
    }
    if (member == "GetRole")
        return Reply(call, "u", [&](DBusWriter& writer) { writer.Uint32(Role(target)); });
    if (member == "GetRoleName" || member == "GetLocalizedRoleName")
        return Reply(call, "s", [&](DBusWriter& writer) { writer.String(RoleName(Role(target))); });
    if (member == "GetState") {
        return Reply(call, "au", [&](DBusWriter& writer) {
            std::size_t array = writer.BeginArray(4);
            for (std::uint32_t bits : States(target))
                writer.Uint32(bits);
            writer.EndArray(array);
        });
    }
    if (member == "GetAttributes") {
        return Reply(call, "a{ss}", [](DBusWriter& writer) {
            std::size_t array = writer.BeginArray(8);
            writer.BeginStruct();
            writer.String("toolkit");
            writer.String("Arkeven");
            writer.EndArray(array);
        });
    }
    if (member == "GetApplication")
        return Reply(call, "(so)", [&](DBusWriter& writer) { m_paths.WriteReference(writer, RootPath); });
    if (member == "GetInterfaces") {
        return Reply(call, "as", [&](DBusWriter& writer) {
            std::size_t array = writer.BeginArray(4);
            for (const std::string& name : Interfaces(target))
                writer.String(name);
            writer.EndArray(array);
        });
    }
    return Unknown(call);
}

std::optional<DBusMessage> AtspiServer::AnswerComponent(const DBusMessage& call, const Target& target)
{
    const HostRect& rect = target.node->rect;
    DBusReader reader(call.bytes, call.bodyOffset, call.bytes.size());
    // Coordinates: 0 screen, 1 window, 2 parent; ours are screen pixels.
    auto origin = [&](std::uint32_t type) -> std::pair<int, int> {
        if (type == 0)
            return { 0, 0 };
        const AccessibleNode* relative = type == 1 ? target.window->tree.Find(0) : target.window->tree.Find(target.node->parent);
        if (target.node->id == 0 || !relative)
            return { 0, 0 };
        return { relative->rect.x, relative->rect.y };
    };
    if (call.member == "GetExtents" && call.signature == "u") {
        std::pair<int, int> from = origin(reader.Uint32());
        return Reply(call, "(iiii)", [&](DBusWriter& writer) {
            writer.BeginStruct();
            writer.Int32(rect.x - from.first);
            writer.Int32(rect.y - from.second);
            writer.Int32(rect.width);
            writer.Int32(rect.height);
        });
    }
    if (call.member == "GetPosition" && call.signature == "u") {
        std::pair<int, int> from = origin(reader.Uint32());
        return Reply(call, "ii", [&](DBusWriter& writer) {
            writer.Int32(rect.x - from.first);
            writer.Int32(rect.y - from.second);
        });
    }
    if (call.member == "GetSize") {
        return Reply(call, "ii", [&](DBusWriter& writer) {
            writer.Int32(rect.width);
            writer.Int32(rect.height);
        });
    }
    if (call.member == "Contains" && call.signature == "iiu") {
        std::int32_t px = reader.Int32();
        std::int32_t py = reader.Int32();
        auto [x, y] = origin(reader.Uint32());
        bool inside = px + x >= rect.x && py + y >= rect.y && px + x < rect.x + rect.width && py + y < rect.y + rect.height;
        return Reply(call, "b", [&](DBusWriter& writer) { writer.Boolean(inside); });
    }
    if (call.member == "GetLayer")
        return Reply(call, "u", [&](DBusWriter& writer) { writer.Uint32(target.node->id == 0 ? 7 : 3); }); // window, widget
    if (call.member == "GetMDIZOrder")
        return Reply(call, "n", [](DBusWriter& writer) { writer.Int16(0); });
    if (call.member == "GetAlpha")
        return Reply(call, "d", [](DBusWriter& writer) { writer.Double(1.0); });
    if (call.member == "GrabFocus")
        return Reply(call, "b", [](DBusWriter& writer) { writer.Boolean(false); });
    return Unknown(call);
}

std::optional<DBusMessage> AtspiServer::AnswerAction(const DBusMessage& call, const Target& target)
{
    const AccessibleNode& node = *target.node;
    bool has = node.action != AccessibleAction::NoAction;
    DBusReader reader(call.bytes, call.bodyOffset, call.bytes.size());
    std::int32_t index = call.signature == "i" ? reader.Int32() : -1;
    bool valid = has && index == 0;
    const char* name = ActionName(node.action);
    if (call.member == "GetActions") {
        return Reply(call, "a(sss)", [&](DBusWriter& writer) {
            std::size_t array = writer.BeginArray(8);
            if (has) {
                writer.BeginStruct();
                writer.String(name);
                writer.String("");
                writer.String("");
            }
            writer.EndArray(array);
        });
    }
    if (call.member == "GetName" || call.member == "GetLocalizedName")
        return Reply(call, "s", [&](DBusWriter& writer) { writer.String(valid ? name : ""); });
    if (call.member == "GetDescription" || call.member == "GetKeyBinding")
        return Reply(call, "s", [](DBusWriter& writer) { writer.String(""); });
    if (call.member == "DoAction") {
        bool shown = target.window->shown && !node.Has(State::Invisible) && !node.Has(State::Unavailable);
        if (valid && shown)
            m_actions.push_back({ target.window->key, node.id });
        return Reply(call, "b", [&](DBusWriter& writer) { writer.Boolean(valid && shown); });
    }
    return Unknown(call);
}

std::optional<DBusMessage> AtspiServer::AnswerText(const DBusMessage& call, const Target& target)
{
    const std::wstring& text = target.node->name;
    auto count = static_cast<std::int32_t>(text.size());
    DBusReader reader(call.bytes, call.bodyOffset, call.bytes.size());
    const std::string& member = call.member;
    if (member == "GetText" && call.signature == "ii") {
        std::int32_t start = reader.Int32();
        std::int32_t end = reader.Int32();
        return Reply(call, "s", [&](DBusWriter& writer) { writer.String(Utf8Range(text, start, end)); });
    }
    if (member == "GetCharacterAtOffset" && call.signature == "i") {
        std::int32_t offset = reader.Int32();
        std::int32_t character = offset >= 0 && offset < count ? static_cast<std::int32_t>(text[static_cast<std::size_t>(offset)]) : 0;
        return Reply(call, "i", [&](DBusWriter& writer) { writer.Int32(character); });
    }
    // A static is one line: every boundary a reader asks for is the whole text.
    if ((member == "GetTextAtOffset" || member == "GetStringAtOffset") && call.signature == "iu") {
        return Reply(call, "sii", [&](DBusWriter& writer) {
            writer.String(ToUtf8(text));
            writer.Int32(0);
            writer.Int32(count);
        });
    }
    if ((member == "GetTextBeforeOffset" || member == "GetTextAfterOffset") && call.signature == "iu") {
        return Reply(call, "sii", [&](DBusWriter& writer) {
            writer.String("");
            writer.Int32(member == "GetTextAfterOffset" ? count : 0);
            writer.Int32(member == "GetTextAfterOffset" ? count : 0);
        });
    }
    if (member == "GetCaretOffset")
        return Reply(call, "i", [](DBusWriter& writer) { writer.Int32(0); });
    if (member == "GetNSelections")
        return Reply(call, "i", [](DBusWriter& writer) { writer.Int32(0); });
    if (member == "GetDefaultAttributes" || member == "GetDefaultAttributeSet") {
        return Reply(call, "a{ss}", [](DBusWriter& writer) {
            std::size_t array = writer.BeginArray(8);
            writer.EndArray(array);
        });
    }
    if (member == "GetAttributes" && call.signature == "i") {
        return Reply(call, "a{ss}ii", [&](DBusWriter& writer) {
            std::size_t array = writer.BeginArray(8);
            writer.EndArray(array);
            writer.Int32(0);
            writer.Int32(count);
        });
    }
    if ((member == "GetCharacterExtents" && call.signature == "iu") || (member == "GetRangeExtents" && call.signature == "iiu")) {
        const HostRect& rect = target.node->rect;
        return Reply(call, "iiii", [&](DBusWriter& writer) {
            writer.Int32(rect.x);
            writer.Int32(rect.y);
            writer.Int32(rect.width);
            writer.Int32(rect.height);
        });
    }
    return Unknown(call);
}

std::optional<DBusMessage> AtspiServer::AnswerApplication(const DBusMessage& call, const Target&)
{
    if (call.member == "GetLocale")
        return Reply(call, "s", [](DBusWriter& writer) { writer.String(""); });
    if (call.member == "GetApplicationBusAddress")
        return Reply(call, "s", [](DBusWriter& writer) { writer.String(""); });
    return Unknown(call);
}

std::optional<DBusMessage> AtspiServer::Answer(const DBusMessage& call)
{
    if (call.type != DBusMessage::Type::MethodCall)
        return std::nullopt;
    // Readers ask for a cache of the whole tree first; an empty one sends them to the objects.
    if (call.path == "/org/a11y/atspi/cache" && call.interface == "org.a11y.atspi.Cache" && call.member == "GetItems") {
        return Reply(call, "a((so)(so)(so)iiassusau)", [](DBusWriter& writer) {
            std::size_t array = writer.BeginArray(8);
            writer.EndArray(array);
        });
    }
    auto target = m_objects.Resolve(call.path);
    if (!target) {
        if (call.flags & DBusMessage::NoReplyExpected)
            return std::nullopt;
        return call.ErrorReply("org.freedesktop.DBus.Error.UnknownObject");
    }
    const std::string& interface = call.interface;
    if (interface == kProperties)
        return AnswerProperties(call, *target);
    if (interface == kIntrospectable && call.member == "Introspect") {
        return Reply(call, "s", [&](DBusWriter& writer) {
            std::string xml = "<node>";
            for (const std::string& name : Interfaces(*target))
                xml += "<interface name=\"" + name + "\"/>";
            writer.String(xml + "</node>");
        });
    }
    if (interface == "org.freedesktop.DBus.Peer" && call.member == "Ping")
        return Reply(call, "", nullptr);
    std::vector<std::string> interfaces = Interfaces(*target);
    bool served = interface.empty() || std::find(interfaces.begin(), interfaces.end(), interface) != interfaces.end();
    if (!served)
        return Unknown(call);
    if (interface == kAccessible || interface.empty())
        return AnswerAccessible(call, *target);
    if (interface == kComponent)
        return AnswerComponent(call, *target);
    if (interface == kAction)
        return AnswerAction(call, *target);
    if (interface == kText)
        return AnswerText(call, *target);
    if (interface == kApplication)
        return AnswerApplication(call, *target);
    return Unknown(call);
}

std::vector<AtspiServer::Action> AtspiServer::TakeActions()
{
    return std::exchange(m_actions, {});
}

void AtspiServer::Publish(std::uint64_t window, const AccessibleTree& tree, const std::vector<AccessibleEvent>& events, std::vector<DBusMessage>& signals)
{
    m_objects.Publish(m_paths, window, tree, events, signals);
}

void AtspiServer::SetShown(std::uint64_t window, bool shown, std::vector<DBusMessage>& signals)
{
    m_objects.SetShown(m_paths, window, shown, signals);
}

void AtspiServer::AnnounceShownWindows(std::vector<DBusMessage>& signals)
{
    m_objects.AnnounceShownWindows(m_paths, signals);
}

void AtspiServer::Remove(std::uint64_t window, std::vector<DBusMessage>& signals)
{
    m_objects.Remove(m_paths, window, signals);
}

} // namespace platform::linux::atspi
