// The check that decides whether a written stick is "ready": its first sector must carry boot
// code and mark exactly the volume's partition active.

#include "platform/disk/BootRecord.h"
#include "platform/disk/LittleEndian.h"
#include "platform/disk/MasterBootRecord.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>

namespace {

constexpr std::uint64_t kVolumeStart = 2048;

struct Sector {
    std::array<std::uint8_t, 512> bytes {};

    Sector()
    {
        bytes[0] = 0xFA; // code the installer wrote
        bytes[510] = 0x55;
        bytes[511] = 0xAA;
    }

    void Partition(int index, std::uint64_t firstSector, bool active)
    {
        std::uint8_t* entry = bytes.data() + 446 + index * 16;
        entry[0] = active ? 0x80 : 0x00;
        entry[4] = 0x0C;
        platform::PutLittle32(entry + 8, static_cast<std::uint32_t>(firstSector));
    }

    bool Check(std::string& detail) const { return platform::CheckBootRecord(bytes.data(), bytes.size(), kVolumeStart, detail); }
};

TEST(BootRecord, AcceptsBootCodeWithTheVolumeAloneActive)
{
    Sector sector;
    sector.Partition(0, kVolumeStart, true);
    sector.Partition(1, 999999, false);
    std::string detail;
    EXPECT_TRUE(sector.Check(detail)) << detail;
}

TEST(BootRecord, RefusesEachWayTheStickCouldNotBoot)
{
    struct Case {
        const char* what;
        void (*spoil)(Sector&);
        const char* detail;
    };
    const Case cases[] = {
        { "no signature", [](Sector& s) { s.bytes[511] = 0; }, "no master boot record" },
        { "code area empty", [](Sector& s) { s.bytes[0] = 0; }, "no boot code" },
        { "nothing active", [](Sector& s) { s.Partition(0, kVolumeStart, false); }, "0 active" },
        { "another partition active too", [](Sector& s) { s.Partition(1, 999999, true); }, "2 active" },
        { "only another partition active", [](Sector& s) { s.Partition(0, kVolumeStart, false); s.Partition(1, 999999, true); }, "1 active" },
    };
    for (const Case& c : cases) {
        Sector sector;
        sector.Partition(0, kVolumeStart, true);
        c.spoil(sector);
        std::string detail;
        EXPECT_FALSE(sector.Check(detail)) << c.what;
        EXPECT_NE(detail.find(c.detail), std::string::npos) << c.what << ": " << detail;
    }

    std::string detail;
    EXPECT_FALSE(platform::CheckBootRecord(nullptr, 512, kVolumeStart, detail));
    EXPECT_FALSE(platform::CheckBootRecord(Sector().bytes.data(), 511, kVolumeStart, detail)) << "a short read";
}

} // namespace

TEST(MasterBootRecordTest, ChsFieldsAndActiveFlag)
{
    EXPECT_EQ(platform::MasterBootRecord::EncodeChs(0), (std::array<std::uint8_t, 3> { 0, 1, 0 }));
    EXPECT_EQ(platform::MasterBootRecord::EncodeChs(2048), (std::array<std::uint8_t, 3> { 32, 33, 0 }));
    // Cylinder 300 = 0x12C: its top two bits go into the sector byte.
    EXPECT_EQ(platform::MasterBootRecord::EncodeChs(300 * 255 * 63), (std::array<std::uint8_t, 3> { 0, 0x41, 0x2C }));
    EXPECT_EQ(platform::MasterBootRecord::EncodeChs(0xFFFFFFF0u), (std::array<std::uint8_t, 3> { 254, 0xFF, 0xFF }));

    platform::MasterBootRecord record(0x12345678);
    record.SetPartition(0, { 0, 0x0C, 2048, 1000 });
    record.SetPartition(1, { 0x80, 0x83, 4096, 1000 });
    EXPECT_FALSE(record.MakeActive(9999));
    EXPECT_TRUE(record.MakeActive(2048));
    EXPECT_EQ(record.GetPartition(0).status, 0x80);
    EXPECT_EQ(record.GetPartition(1).status, 0);
    std::uint8_t code[600];
    std::fill(std::begin(code), std::end(code), 0xAB);
    record.SetBootCode(code, sizeof code);
    EXPECT_EQ(record.Bytes()[439], 0xAB);
    EXPECT_EQ(record.DiskSignature(), 0x12345678u);
    EXPECT_EQ(record.GetPartition(0).firstSector, 2048u);

    std::uint8_t garbage[512] = {};
    EXPECT_FALSE(platform::MasterBootRecord::Parse(garbage, sizeof garbage));
    EXPECT_FALSE(platform::MasterBootRecord::Parse(record.Bytes().data(), 100));
    EXPECT_TRUE(platform::MasterBootRecord::Parse(record.Bytes().data(), 512));
}
