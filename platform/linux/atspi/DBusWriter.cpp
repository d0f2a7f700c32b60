#include "platform/linux/atspi/DBusWriter.h"

#include <cstring>

namespace platform::linux::atspi {

void DBusWriter::Align(std::size_t alignment)
{
    while (m_bytes.size() % alignment)
        m_bytes.push_back(0);
}

void DBusWriter::Raw(const void* data, std::size_t size)
{
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    m_bytes.insert(m_bytes.end(), bytes, bytes + size);
}

void DBusWriter::Byte(std::uint8_t value)
{
    m_bytes.push_back(value);
}

void DBusWriter::Int16(std::int16_t value)
{
    Align(2);
    auto bits = static_cast<std::uint16_t>(value);
    Byte(static_cast<std::uint8_t>(bits));
    Byte(static_cast<std::uint8_t>(bits >> 8));
}

void DBusWriter::Int32(std::int32_t value)
{
    Uint32(static_cast<std::uint32_t>(value));
}

void DBusWriter::Uint32(std::uint32_t value)
{
    Align(4);
    for (int shift = 0; shift < 32; shift += 8)
        Byte(static_cast<std::uint8_t>(value >> shift));
}

void DBusWriter::Double(double value)
{
    Align(8);
    std::uint64_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    for (int shift = 0; shift < 64; shift += 8)
        Byte(static_cast<std::uint8_t>(bits >> shift));
}

void DBusWriter::String(const std::string& value)
{
    Uint32(static_cast<std::uint32_t>(value.size()));
    Raw(value.data(), value.size());
    Byte(0);
}

void DBusWriter::Signature(const std::string& value)
{
    Byte(static_cast<std::uint8_t>(value.size()));
    Raw(value.data(), value.size());
    Byte(0);
}

std::size_t DBusWriter::BeginArray(std::size_t elementAlignment)
{
    Uint32(0);
    std::size_t lengthAt = m_bytes.size() - 4;
    Align(elementAlignment);
    // The mark keeps where the length lies and where the elements start.
    m_arrayStarts.push_back(m_bytes.size());
    return lengthAt;
}

void DBusWriter::EndArray(std::size_t mark)
{
    std::size_t start = m_arrayStarts.back();
    m_arrayStarts.pop_back();
    PatchUint32(mark, static_cast<std::uint32_t>(m_bytes.size() - start));
}

void DBusWriter::PatchUint32(std::size_t offset, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        m_bytes[offset + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

} // namespace platform::linux::atspi
