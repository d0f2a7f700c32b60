#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

namespace platform {

// The first 512 bytes of a disk: boot code, disk signature, four partition entries, 0x55AA.
class MasterBootRecord {
public:
    static constexpr std::size_t kSize = 512;
    static constexpr std::size_t kBootCodeSize = 440;
    static constexpr std::uint8_t kTypeFat32Lba = 0x0C;
    static constexpr std::uint8_t kActive = 0x80;

    struct Partition {
        std::uint8_t status = 0;
        std::uint8_t type = 0;
        std::uint32_t firstSector = 0;
        std::uint32_t sectorCount = 0;
    };

    // An empty table with no boot code.
    explicit MasterBootRecord(std::uint32_t diskSignature);
    // Empty when the bytes are not a master boot record (short, or no 0x55AA).
    static std::optional<MasterBootRecord> Parse(const std::uint8_t* bytes, std::size_t size);

    // Sets entry `index` (0..3), with CHS fields for a 255-head, 63-sector geometry.
    void SetPartition(int index, const Partition& partition);
    Partition GetPartition(int index) const;
    // Marks the entry starting at `firstSector` active and every other one inactive.
    bool MakeActive(std::uint32_t firstSector);
    void SetBootCode(const std::uint8_t* code, std::size_t size);

    std::uint32_t DiskSignature() const;
    // A fresh signature for a disk laid out anew: random, never 0 (which marks a disk without one).
    static std::uint32_t NewDiskSignature();
    const std::array<std::uint8_t, kSize>& Bytes() const { return m_bytes; }

    // The CHS triple of an MBR entry for a sector number; 1023/254/63 beyond the CHS range.
    static std::array<std::uint8_t, 3> EncodeChs(std::uint32_t lba);

private:
    MasterBootRecord() = default;
    static constexpr std::size_t kTableOffset = 446;
    std::array<std::uint8_t, kSize> m_bytes {};
};

} // namespace platform
