#include "platform/linux/atspi/DBusReader.h"

#include <cstring>

namespace platform::linux::atspi {

DBusReader::DBusReader(const std::vector<std::uint8_t>& bytes, std::size_t offset, std::size_t end)
    : m_bytes(bytes)
    , m_offset(offset)
    , m_end(end <= bytes.size() ? end : bytes.size())
{
}

bool DBusReader::Need(std::size_t size)
{
    if (m_failed || m_offset > m_end || m_end - m_offset < size) {
        m_failed = true;
        return false;
    }
    return true;
}

void DBusReader::Align(std::size_t alignment)
{
    std::size_t padding = (alignment - m_offset % alignment) % alignment;
    if (Need(padding))
        m_offset += padding;
}

std::uint8_t DBusReader::Byte()
{
    if (!Need(1))
        return 0;
    return m_bytes[m_offset++];
}

std::uint32_t DBusReader::Uint32()
{
    Align(4);
    if (!Need(4))
        return 0;
    std::uint32_t value = 0;
    for (int i = 0; i < 4; ++i)
        value |= static_cast<std::uint32_t>(m_bytes[m_offset + i]) << (8 * i);
    m_offset += 4;
    return value;
}

std::uint64_t DBusReader::Uint64()
{
    Align(8);
    if (!Need(8))
        return 0;
    std::uint64_t value = 0;
    for (int i = 0; i < 8; ++i)
        value |= static_cast<std::uint64_t>(m_bytes[m_offset + i]) << (8 * i);
    m_offset += 8;
    return value;
}

double DBusReader::Double()
{
    std::uint64_t bits = Uint64();
    double value = 0;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

std::string DBusReader::String()
{
    std::uint32_t length = Uint32();
    if (!Need(static_cast<std::size_t>(length) + 1))
        return {};
    std::string value(reinterpret_cast<const char*>(&m_bytes[m_offset]), length);
    m_offset += length + 1;
    return value;
}

std::string DBusReader::Signature()
{
    std::uint8_t length = Byte();
    if (!Need(static_cast<std::size_t>(length) + 1))
        return {};
    std::string value(reinterpret_cast<const char*>(&m_bytes[m_offset]), length);
    m_offset += length + 1u;
    return value;
}

std::size_t DBusReader::BeginArray(std::size_t elementAlignment)
{
    std::uint32_t length = Uint32();
    Align(elementAlignment);
    if (!Need(length))
        return m_offset;
    return m_offset + length;
}

std::size_t DBusReader::CompleteTypeLength(const std::string& signature, std::size_t from)
{
    if (from >= signature.size())
        return 0;
    char type = signature[from];
    if (type == 'a') {
        std::size_t element = CompleteTypeLength(signature, from + 1);
        return element ? element + 1 : 0;
    }
    if (type == '(' || type == '{') {
        char close = type == '(' ? ')' : '}';
        std::size_t at = from + 1;
        while (at < signature.size() && signature[at] != close) {
            std::size_t length = CompleteTypeLength(signature, at);
            if (!length)
                return 0;
            at += length;
        }
        return at < signature.size() ? at - from + 1 : 0;
    }
    return std::strchr("ybnqiuxtdsogvh", type) ? 1 : 0;
}

void DBusReader::Skip(const std::string& signature)
{
    if (m_failed || signature.empty() || ++m_depth > 32) {
        m_failed = true;
        return;
    }
    switch (signature[0]) {
    case 'y':
        Byte();
        break;
    case 'n':
    case 'q':
        Align(2);
        if (Need(2))
            m_offset += 2;
        break;
    case 'b':
    case 'i':
    case 'u':
    case 'h':
        Uint32();
        break;
    case 'x':
    case 't':
    case 'd':
        Uint64();
        break;
    case 's':
    case 'o':
        String();
        break;
    case 'g':
        Signature();
        break;
    case 'v': {
        std::string inner = Signature();
        Skip(inner);
        break;
    }
    case 'a': {
        std::string element = signature.substr(1, CompleteTypeLength(signature, 1));
        char first = element.empty() ? 'y' : element[0];
        std::size_t alignment = first == '(' || first == '{' || first == 'x' || first == 't' || first == 'd' ? 8
            : first == 'n' || first == 'q'                                                     ? 2
            : first == 'y' || first == 'g' || first == 'v'                                     ? 1
                                                                                               : 4;
        std::size_t end = BeginArray(alignment);
        if (end <= m_offset)
            break;
        // Fixed-size or not, skipping the array's bytes is enough.
        m_offset = end;
        break;
    }
    case '(':
    case '{': {
        BeginStruct();
        std::size_t at = 1;
        while (!m_failed && at < signature.size() && signature[at] != ')' && signature[at] != '}') {
            std::size_t length = CompleteTypeLength(signature, at);
            if (!length) {
                m_failed = true;
                break;
            }
            Skip(signature.substr(at, length));
            at += length;
        }
        break;
    }
    default:
        m_failed = true;
        break;
    }
    --m_depth;
}

} // namespace platform::linux::atspi
