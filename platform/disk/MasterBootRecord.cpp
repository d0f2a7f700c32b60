#include "platform/disk/MasterBootRecord.h"

#include "platform/disk/LittleEndian.h"

#include <algorithm>
#include <random>

namespace platform {

namespace {

constexpr std::uint32_t kHeads = 255;
constexpr std::uint32_t kSectorsPerTrack = 63;

} // namespace

MasterBootRecord::MasterBootRecord(std::uint32_t diskSignature)
{
    PutLittle32(&m_bytes[440], diskSignature);
    m_bytes[510] = 0x55;
    m_bytes[511] = 0xAA;
}

std::optional<MasterBootRecord> MasterBootRecord::Parse(const std::uint8_t* bytes, std::size_t size)
{
    if (!bytes || size < kSize || bytes[510] != 0x55 || bytes[511] != 0xAA)
        return std::nullopt;
    MasterBootRecord record;
    std::copy(bytes, bytes + kSize, record.m_bytes.begin());
    return record;
}

std::array<std::uint8_t, 3> MasterBootRecord::EncodeChs(std::uint32_t lba)
{
    std::uint32_t cylinder = lba / (kHeads * kSectorsPerTrack);
    std::uint32_t head = (lba / kSectorsPerTrack) % kHeads;
    std::uint32_t sector = lba % kSectorsPerTrack + 1;
    if (cylinder > 1023) {
        cylinder = 1023;
        head = 254;
        sector = 63;
    }
    return { static_cast<std::uint8_t>(head), static_cast<std::uint8_t>(sector | ((cylinder >> 2) & 0xC0)),
        static_cast<std::uint8_t>(cylinder & 0xFF) };
}

void MasterBootRecord::SetPartition(int index, const Partition& partition)
{
    if (index < 0 || index > 3)
        return;
    std::uint8_t* entry = &m_bytes[kTableOffset + 16 * index];
    entry[0] = partition.status;
    auto first = EncodeChs(partition.firstSector);
    std::copy(first.begin(), first.end(), entry + 1);
    entry[4] = partition.type;
    std::uint32_t lastSector = partition.sectorCount ? partition.firstSector + partition.sectorCount - 1 : partition.firstSector;
    auto last = EncodeChs(lastSector);
    std::copy(last.begin(), last.end(), entry + 5);
    PutLittle32(entry + 8, partition.firstSector);
    PutLittle32(entry + 12, partition.sectorCount);
}

MasterBootRecord::Partition MasterBootRecord::GetPartition(int index) const
{
    if (index < 0 || index > 3)
        return {};
    const std::uint8_t* entry = &m_bytes[kTableOffset + 16 * index];
    return { entry[0], entry[4], GetLittle32(entry + 8), GetLittle32(entry + 12) };
}

bool MasterBootRecord::MakeActive(std::uint32_t firstSector)
{
    bool found = false;
    for (int index = 0; index < 4; ++index) {
        auto partition = GetPartition(index);
        bool isTarget = partition.type != 0 && partition.firstSector == firstSector;
        m_bytes[kTableOffset + 16 * index] = isTarget ? kActive : 0;
        found = found || isTarget;
    }
    return found;
}

void MasterBootRecord::SetBootCode(const std::uint8_t* code, std::size_t size)
{
    std::fill(m_bytes.begin(), m_bytes.begin() + kBootCodeSize, 0);
    std::copy(code, code + std::min(size, kBootCodeSize), m_bytes.begin());
}

std::uint32_t MasterBootRecord::DiskSignature() const
{
    return GetLittle32(&m_bytes[440]);
}

std::uint32_t MasterBootRecord::NewDiskSignature()
{
    std::random_device entropy;
    std::uint32_t signature = 0;
    while (signature == 0)
        signature = entropy();
    return signature;
}

} // namespace platform
