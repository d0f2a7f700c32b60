#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace platform::linux::atspi {

// Marshals values in the D-Bus wire format, little-endian, each aligned as the format asks
// (relative to the start of the message, which is where this buffer starts).
class DBusWriter {
public:
    void Byte(std::uint8_t value);
    void Boolean(bool value) { Uint32(value ? 1 : 0); }
    void Int16(std::int16_t value);
    void Int32(std::int32_t value);
    void Uint32(std::uint32_t value);
    void Double(double value);
    void String(const std::string& value);
    void ObjectPath(const std::string& value) { String(value); }
    void Signature(const std::string& value);
    // A variant: its signature, then its value written by the caller.
    void BeginVariant(const std::string& signature) { Signature(signature); }

    // Arrays: Begin with the alignment of the element type, write the elements, End with the
    // returned mark; the length excludes the padding before the first element.
    std::size_t BeginArray(std::size_t elementAlignment);
    void EndArray(std::size_t mark);
    void BeginStruct() { Align(8); }

    void Align(std::size_t alignment);
    void Raw(const void* data, std::size_t size);
    void PatchUint32(std::size_t offset, std::uint32_t value);
    std::size_t Size() const { return m_bytes.size(); }
    const std::vector<std::uint8_t>& Bytes() const { return m_bytes; }
    std::vector<std::uint8_t> Take() { return std::move(m_bytes); }

private:
    std::vector<std::uint8_t> m_bytes;
    std::vector<std::size_t> m_arrayStarts; // open arrays, innermost last
};

} // namespace platform::linux::atspi
