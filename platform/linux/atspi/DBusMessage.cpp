#include "platform/linux/atspi/DBusMessage.h"

#include "platform/linux/atspi/DBusReader.h"
#include "platform/linux/atspi/DBusWriter.h"

namespace platform::linux::atspi {

namespace {

constexpr std::size_t kMaxMessage = 1u << 26; // 64 MiB, below the 128 MiB D-Bus allows

enum Field : std::uint8_t {
    Path = 1,
    Interface = 2,
    Member = 3,
    ErrorName = 4,
    ReplySerial = 5,
    Destination = 6,
    Sender = 7,
    SignatureField = 8,
};

void StringField(DBusWriter& writer, std::uint8_t code, const char* type, const std::string& value)
{
    if (value.empty())
        return;
    writer.BeginStruct();
    writer.Byte(code);
    writer.Signature(type);
    if (type[0] == 'g')
        writer.Signature(value);
    else
        writer.String(value);
}

std::uint32_t ReadLe32(const std::uint8_t* data)
{
    return static_cast<std::uint32_t>(data[0]) | static_cast<std::uint32_t>(data[1]) << 8
        | static_cast<std::uint32_t>(data[2]) << 16 | static_cast<std::uint32_t>(data[3]) << 24;
}

} // namespace

DBusMessage DBusMessage::MethodCall(std::string destination, std::string path, std::string interface, std::string member)
{
    DBusMessage message;
    message.type = Type::MethodCall;
    message.destination = std::move(destination);
    message.path = std::move(path);
    message.interface = std::move(interface);
    message.member = std::move(member);
    return message;
}

DBusMessage DBusMessage::Signal(std::string path, std::string interface, std::string member)
{
    DBusMessage message;
    message.type = Type::Signal;
    message.path = std::move(path);
    message.interface = std::move(interface);
    message.member = std::move(member);
    return message;
}

DBusMessage DBusMessage::ReplyTo() const
{
    DBusMessage reply;
    reply.type = Type::MethodReturn;
    reply.replySerial = serial;
    reply.destination = sender;
    return reply;
}

DBusMessage DBusMessage::ErrorReply(std::string name) const
{
    DBusMessage reply;
    reply.type = Type::Error;
    reply.replySerial = serial;
    reply.destination = sender;
    reply.errorName = std::move(name);
    return reply;
}

std::vector<std::uint8_t> DBusMessage::Encode(std::uint32_t messageSerial) const
{
    DBusWriter writer;
    writer.Byte('l');
    writer.Byte(static_cast<std::uint8_t>(type));
    writer.Byte(flags);
    writer.Byte(1);
    writer.Uint32(static_cast<std::uint32_t>(bytes.size()));
    writer.Uint32(messageSerial);
    std::size_t fields = writer.BeginArray(8);
    StringField(writer, Path, "o", path);
    StringField(writer, Interface, "s", interface);
    StringField(writer, Member, "s", member);
    StringField(writer, ErrorName, "s", errorName);
    if (replySerial) {
        writer.BeginStruct();
        writer.Byte(ReplySerial);
        writer.Signature("u");
        writer.Uint32(replySerial);
    }
    StringField(writer, Destination, "s", destination);
    StringField(writer, SignatureField, "g", signature);
    writer.EndArray(fields);
    writer.Align(8);
    writer.Raw(bytes.data(), bytes.size());
    return writer.Take();
}

std::optional<std::size_t> DBusMessage::WireLength(const std::uint8_t* data, std::size_t size)
{
    if (size < 16)
        return 0;
    if (data[0] != 'l' || data[3] != 1)
        return std::nullopt; // big-endian peers do not talk to us: the buses we use are local
    std::size_t body = ReadLe32(data + 4);
    std::size_t fields = ReadLe32(data + 12);
    if (body > kMaxMessage || fields > kMaxMessage)
        return std::nullopt;
    std::size_t header = 16 + fields;
    header = (header + 7) / 8 * 8;
    return header + body;
}

std::optional<DBusMessage> DBusMessage::Decode(std::vector<std::uint8_t> wire)
{
    auto length = WireLength(wire.data(), wire.size());
    if (!length || *length == 0 || *length != wire.size())
        return std::nullopt;
    DBusMessage message;
    message.type = static_cast<Type>(wire[1]);
    message.flags = wire[2];
    message.serial = ReadLe32(wire.data() + 8);
    std::size_t bodyLength = ReadLe32(wire.data() + 4);
    DBusReader reader(wire, 12, wire.size() - bodyLength);
    std::size_t end = reader.BeginArray(8);
    while (!reader.Failed() && reader.Offset() < end) {
        reader.BeginStruct();
        std::uint8_t code = reader.Byte();
        std::string type = reader.Signature();
        if (type == "s" || type == "o") {
            std::string value = reader.String();
            switch (code) {
            case Path: message.path = value; break;
            case Interface: message.interface = value; break;
            case Member: message.member = value; break;
            case ErrorName: message.errorName = value; break;
            case Destination: message.destination = value; break;
            case Sender: message.sender = value; break;
            default: break;
            }
        } else if (type == "g") {
            std::string value = reader.Signature();
            if (code == SignatureField)
                message.signature = value;
        } else if (type == "u") {
            std::uint32_t value = reader.Uint32();
            if (code == ReplySerial)
                message.replySerial = value;
        } else {
            reader.Skip(type);
        }
    }
    if (reader.Failed())
        return std::nullopt;
    message.bodyOffset = wire.size() - bodyLength;
    message.bytes = std::move(wire);
    return message;
}

} // namespace platform::linux::atspi
