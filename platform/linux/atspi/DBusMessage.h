#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace platform::linux::atspi {

// One D-Bus message: its header fields and its body, already marshalled (DBusWriter) or to
// be read (DBusReader from BodyOffset()).
struct DBusMessage {
    enum class Type : std::uint8_t { Invalid = 0, MethodCall = 1, MethodReturn = 2, Error = 3, Signal = 4 };
    static constexpr std::uint8_t NoReplyExpected = 0x1;

    Type type = Type::Invalid;
    std::uint8_t flags = 0;
    std::uint32_t serial = 0;
    std::uint32_t replySerial = 0;
    std::string path;
    std::string interface;
    std::string member;
    std::string errorName;
    std::string destination;
    std::string sender;
    std::string signature;
    // Decoded messages: the whole message, the body starting at bodyOffset. Messages to send:
    // the body alone, as written by a DBusWriter (which aligns from 0, as the body starts at a
    // multiple of 8 in the message).
    std::vector<std::uint8_t> bytes;
    std::size_t bodyOffset = 0;

    static DBusMessage MethodCall(std::string destination, std::string path, std::string interface, std::string member);
    static DBusMessage Signal(std::string path, std::string interface, std::string member);
    DBusMessage ReplyTo() const;
    DBusMessage ErrorReply(std::string name) const;

    // The message on the wire with this serial.
    std::vector<std::uint8_t> Encode(std::uint32_t serial) const;
    // How long the message at the start of `data` is, once its fixed header is there; 0 when
    // more bytes are needed to tell, nullopt when it is malformed or too large.
    static std::optional<std::size_t> WireLength(const std::uint8_t* data, std::size_t size);
    static std::optional<DBusMessage> Decode(std::vector<std::uint8_t> bytes);
};

} // namespace platform::linux::atspi
