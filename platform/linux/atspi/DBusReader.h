#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace platform::linux::atspi {

// Reads values in the D-Bus wire format (little-endian) from a message's bytes. Offsets count
// from the start of the message, where alignment is reckoned. Reading past the end or a
// malformed value makes Failed() true and every later read answer zero or empty.
class DBusReader {
public:
    DBusReader(const std::vector<std::uint8_t>& bytes, std::size_t offset, std::size_t end);

    std::uint8_t Byte();
    bool Boolean() { return Uint32() != 0; }
    std::int32_t Int32() { return static_cast<std::int32_t>(Uint32()); }
    std::uint32_t Uint32();
    std::uint64_t Uint64();
    double Double();
    std::string String();
    std::string ObjectPath() { return String(); }
    std::string Signature();
    // An array: returns where its elements end; read elements while Offset() < that end.
    std::size_t BeginArray(std::size_t elementAlignment);
    void BeginStruct() { Align(8); }
    // Skips one complete value of the given signature (a single complete type).
    void Skip(const std::string& signature);

    void Align(std::size_t alignment);
    std::size_t Offset() const { return m_offset; }
    bool Failed() const { return m_failed; }

private:
    bool Need(std::size_t size);
    // The length of the single complete type at signature[from], or 0 when malformed.
    static std::size_t CompleteTypeLength(const std::string& signature, std::size_t from);

    const std::vector<std::uint8_t>& m_bytes;
    std::size_t m_offset;
    std::size_t m_end;
    bool m_failed = false;
    int m_depth = 0;
};

} // namespace platform::linux::atspi
