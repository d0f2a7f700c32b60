// The held stick's format on real image files: mkfs.fat, fsck.fat and the bytes of the result; and the
// platform's own FAT32 writer on image files, checked with fsck.fat and mtools.

#include "StickTestSupport.h"

#include "platform/disk/Fat32Formatter.h"
#include "platform/disk/StickPartition.h"
#include "platform/disk/MasterBootRecord.h"

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>

using namespace stick_test;
using platform::MasterBootRecord;

namespace {

std::uint32_t Little32(const std::vector<std::uint8_t>& bytes, std::size_t at)
{
    return bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 | std::uint32_t(bytes[at + 3]) << 24;
}

void FillWith(const fs::path& image, char value, std::uint64_t offset, std::size_t size)
{
    std::fstream file(image, std::ios::binary | std::ios::in | std::ios::out);
    file.seekp(static_cast<std::streamoff>(offset));
    std::string bytes(size, value);
    file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

bool AllZero(const std::vector<std::uint8_t>& bytes)
{
    for (auto byte : bytes)
        if (byte)
            return false;
    return !bytes.empty();
}

class FormatTest : public StickFixture { };

TEST_F(FormatTest, FullFormatWritesPartitionTableAndCleanFat32)
{
    auto image = MakeImage("stick.img", 64);
    // Old boot code and old data, which a full format must not keep.
    FillWith(image, '\xEE', 0, 446);
    FillWith(image, '\xEE', 40 * 1024 * 1024, 1024 * 1024);
    // Past the FATs but in the stretch the zero pass writes through the page cache, and the very end.
    FillWith(image, '\xEE', 1536 * 1024, 4096);
    FillWith(image, '\xEE', 64 * 1024 * 1024 - 4096, 4096);
    auto letters = UseDrives({ image });
    ASSERT_NE(letters[0], 0);

    FormatRecord record;
    FormatDrive(letters[0], false, record);

    ASSERT_EQ(record.outcome, platform::FormatOutcome::Done);
    ASSERT_EQ(record.percents.size(), 101u);
    for (std::uint32_t i = 0; i <= 100; ++i)
        EXPECT_EQ(record.percents[i], i);
    ASSERT_FALSE(record.lines.empty());
    EXPECT_NE(record.lines[0].find("mkfs.fat"), std::string::npos);

    auto mbrBytes = ReadBytes(image, 0, 512);
    auto mbr = MasterBootRecord::Parse(mbrBytes.data(), mbrBytes.size());
    ASSERT_TRUE(mbr);
    EXPECT_TRUE(AllZero(std::vector<std::uint8_t>(mbrBytes.begin(), mbrBytes.begin() + 440)));
    EXPECT_NE(mbr->DiskSignature(), 0u);
    auto partition = mbr->GetPartition(0);
    EXPECT_EQ(partition.type, 0x0C);
    EXPECT_EQ(partition.status, 0);
    EXPECT_EQ(partition.firstSector, 2048u);
    EXPECT_EQ(partition.sectorCount, 64u * 2048 - 2048);
    for (int index = 1; index < 4; ++index)
        EXPECT_EQ(mbr->GetPartition(index).type, 0);
    // CHS start 0/32/33 for LBA 2048; the end lies past nothing special at 64 MiB: 8/40/32.
    EXPECT_EQ(mbrBytes[447], 32);
    EXPECT_EQ(mbrBytes[448], 33);
    EXPECT_EQ(mbrBytes[449], 0);

    auto boot = ReadBytes(image, 1024 * 1024, 512);
    EXPECT_EQ(boot[11] | boot[12] << 8, 512);
    EXPECT_EQ(boot[13], 8) << "4096-byte clusters";
    EXPECT_EQ(Little32(boot, 0x1C), 2048u) << "hidden sectors";
    EXPECT_EQ(std::string(boot.begin() + 0x47, boot.begin() + 0x52), "VarnMID    ");
    EXPECT_EQ(std::string(boot.begin() + 0x52, boot.begin() + 0x5A), "FAT32   ");

    EXPECT_TRUE(AllZero(ReadBytes(image, 40 * 1024 * 1024, 1024 * 1024))) << "the zero pass missed old data";
    EXPECT_TRUE(AllZero(ReadBytes(image, 1536 * 1024, 4096))) << "the zero pass missed the start of the partition";
    EXPECT_TRUE(AllZero(ReadBytes(image, 64 * 1024 * 1024 - 4096, 4096))) << "the zero pass missed the end of the partition";

    auto partitionFile = m_root / "partition.img";
    ASSERT_EQ(Shell("dd if=" + image.string() + " of=" + partitionFile.string() + " bs=1M skip=1 status=none").status, 0);
    auto check = Shell("fsck.fat -n " + partitionFile.string());
    EXPECT_EQ(check.status, 0) << check.output;
}

TEST_F(FormatTest, QuickFormatSkipsTheZeroPassButMakesTheSameVolume)
{
    auto image = MakeImage("stick.img", 64);
    FillWith(image, '\xEE', 40 * 1024 * 1024, 4096);
    auto letters = UseDrives({ image });

    FormatRecord record;
    FormatDrive(letters[0], true, record);

    ASSERT_EQ(record.outcome, platform::FormatOutcome::Done);
    ASSERT_FALSE(record.percents.empty());
    EXPECT_EQ(record.percents.front(), 0u);
    EXPECT_EQ(record.percents.back(), 100u);
    EXPECT_TRUE(std::is_sorted(record.percents.begin(), record.percents.end()));
    EXPECT_EQ(ReadBytes(image, 40 * 1024 * 1024, 1)[0], 0xEE);
    auto boot = ReadBytes(image, 1024 * 1024, 512);
    EXPECT_EQ(std::string(boot.begin() + 0x47, boot.begin() + 0x52), "VarnMID    ");
}

TEST_F(FormatTest, RefusesWhatIsNotAStickAndReportsFailureOnce)
{
    auto image = MakeImage("stick.img", 64);
    auto letters = UseDrives({ image });
    // The CD itself, no such drive, no drive at all.
    for (char letter : { 'D', 'Q', '\0' }) {
        FormatRecord record;
        FormatDrive(letter, false, record);
        EXPECT_EQ(record.outcome, platform::FormatOutcome::Failed);
        EXPECT_TRUE(record.percents.empty());
    }
    // Held, then gone before the format.
    auto stick = HoldStick(letters[0]);
    ASSERT_TRUE(stick);
    auto moved = m_root / "moved.img";
    fs::rename(image, moved);
    EXPECT_EQ(stick->Format({ L"VarnMID", 4096, false }, {}), platform::FormatOutcome::Failed);
    stick.reset();
    fs::rename(moved, image);
    EXPECT_TRUE(AllZero(ReadBytes(image, 0, 512))) << "a refused format wrote to the stick";
}

TEST_F(FormatTest, VanishedStickOrWriteErrorEndsWithFailure)
{
    auto image = MakeImage("stick.img", 64);
    auto letters = UseDrives({ image });
    fs::remove(image);
    FormatRecord vanished;
    FormatDrive(letters[0], false, vanished);
    EXPECT_EQ(vanished.outcome, platform::FormatOutcome::Failed);

    // Writes beyond 24 MiB fail with EFBIG, as a stick pulled in the middle of the zero pass.
    image = MakeImage("stick.img", 64);
    rlimit previous {};
    ::getrlimit(RLIMIT_FSIZE, &previous);
    auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limited = previous;
    limited.rlim_cur = 24 * 1024 * 1024;
    ::setrlimit(RLIMIT_FSIZE, &limited);
    FormatRecord failing;
    FormatDrive(letters[0], false, failing);
    ::setrlimit(RLIMIT_FSIZE, &previous);
    std::signal(SIGXFSZ, previousHandler);
    EXPECT_EQ(failing.outcome, platform::FormatOutcome::Failed);
    ASSERT_FALSE(failing.percents.empty());
    EXPECT_LT(failing.percents.back(), 100u);
}

TEST_F(FormatTest, CallbackAnsweringFalseStopsTheFormat)
{
    auto image = MakeImage("stick.img", 64);
    auto letters = UseDrives({ image });
    FormatRecord record;
    record.stopAtPercent = 10;
    FormatDrive(letters[0], false, record);
    EXPECT_EQ(record.outcome, platform::FormatOutcome::Failed);
    EXPECT_EQ(record.percents.back(), 10u);
    EXPECT_NE(ReadBytes(image, 1024 * 1024 + 0x52, 5), std::vector<std::uint8_t>({ 'F', 'A', 'T', '3', '2' }));
}

using platform::Fat32Formatter;

std::uint64_t DigitsOf(const std::string& text)
{
    std::string digits;
    for (char c : text)
        if (c >= '0' && c <= '9')
            digits += c;
    return digits.empty() ? 0 : std::stoull(digits);
}

// The number after "key" in a tool's output.
std::uint64_t ValueAfter(const std::string& output, const std::string& key)
{
    auto at = output.find(key);
    return at == std::string::npos ? 0 : DigitsOf(output.substr(at + key.size(), output.find('\n', at) - at - key.size()));
}

class Fat32FormatterTest : public StickFixture {
protected:
    // fsck.fat finds nothing; mtools reads label, cluster size and a free space of every cluster
    // but the root folder's.
    void ExpectCleanVolume(const fs::path& volumeFile, const std::string& mtoolsImage)
    {
        auto check = Shell("fsck.fat -n " + volumeFile.string());
        EXPECT_EQ(check.status, 0) << check.output;
        auto info = Shell("MTOOLS_SKIP_CHECK=1 minfo -i '" + mtoolsImage + "' ::");
        ASSERT_EQ(info.status, 0) << info.output;
        EXPECT_NE(info.output.find("disk label=\"VarnMID    \""), std::string::npos) << info.output;
        EXPECT_EQ(ValueAfter(info.output, "sector size:") * ValueAfter(info.output, "cluster size:"), 4096u) << info.output;
        std::uint64_t clusters = (ValueAfter(info.output, "big size:") - ValueAfter(info.output, "reserved (boot) sectors:")
            - 2 * ValueAfter(info.output, "Big fatlen=")) / 8;
        EXPECT_EQ(ValueAfter(info.output, "free clusters="), clusters - 1);
        auto listing = Shell("MTOOLS_SKIP_CHECK=1 mdir -i '" + mtoolsImage + "' ::");
        ASSERT_EQ(listing.status, 0) << listing.output;
        EXPECT_NE(listing.output.find("Volume in drive : is VarnMID"), std::string::npos) << listing.output;
        EXPECT_EQ(DigitsOf(listing.output.substr(listing.output.find("No files"))), (clusters - 1) * 4096) << listing.output;
    }
};

TEST_F(Fat32FormatterTest, FullFormatOfAPartitionClearsItAndMakesACleanVolume)
{
    constexpr std::uint64_t kStart = 1024 * 1024;
    auto image = MakeImage("stick.img", 300);
    auto mbr = WritePartitionTable(image);
    FillWith(image, '\xEE', kStart, 512); // an old boot sector
    FillWith(image, '\xEE', 200 * 1024 * 1024, 1024 * 1024); // old data

    Fat32Formatter::Settings settings;
    settings.hiddenSectors = 2048;
    auto outcome = FormatWithOwnWriter(image, kStart, 299 * 1024 * 1024, settings);
    ASSERT_TRUE(outcome.ok) << outcome.error;
    std::cout << "[          ] full format of 299 MiB: " << outcome.seconds << " s\n";
    ASSERT_EQ(outcome.percents.size(), 101u);
    for (std::uint32_t i = 0; i <= 100; ++i)
        EXPECT_EQ(outcome.percents[i], i);
    ASSERT_EQ(outcome.lines.size(), 1u);

    EXPECT_EQ(ReadBytes(image, 0, 512), mbr)
        << "the partition table is the disk's, not the volume's";
    EXPECT_TRUE(AllZero(ReadBytes(image, 200 * 1024 * 1024, 1024 * 1024))) << "the zero pass missed old data";
    auto boot = ReadBytes(image, kStart, 512);
    EXPECT_EQ(Little32(boot, 0x1C), 2048u) << "hidden sectors";
    EXPECT_EQ(boot[0x15], 0xF8);
    EXPECT_NE(Little32(boot, 0x43), 0u) << "volume serial";
    std::uint32_t reserved = boot[0x0E] | boot[0x0F] << 8;
    EXPECT_EQ((reserved + 2 * Little32(boot, 0x24)) * 512 % 4096, 0u) << "the data area is not cluster aligned";
    EXPECT_EQ(ReadBytes(image, kStart + 6 * 512, 1024), ReadBytes(image, kStart, 1024)) << "backup boot sector and FSInfo";

    auto volume = m_root / "volume.img";
    ASSERT_EQ(Shell("dd if=" + image.string() + " of=" + volume.string() + " bs=1M skip=1 conv=sparse status=none").status, 0);
    ExpectCleanVolume(volume, image.string() + "@@" + std::to_string(kStart));
}

TEST_F(Fat32FormatterTest, QuickFormatOfA64GigabyteStickWritesOnlyTheSystemArea)
{
    auto image = MakeImage("stick.img", 64 * 1024);
    Fat32Formatter::Settings settings;
    settings.quick = true;
    auto outcome = FormatWithOwnWriter(image, 0, 64ull << 30, settings);
    ASSERT_TRUE(outcome.ok) << outcome.error;
    EXPECT_EQ(outcome.percents.front(), 0u);
    EXPECT_EQ(outcome.percents.back(), 100u);
    EXPECT_EQ(outcome.percents.size(), 101u);

    struct stat info {};
    ASSERT_EQ(::stat(image.c_str(), &info), 0);
    // Two FATs of 64 MiB and the root folder; the data area stays a hole.
    EXPECT_LT(std::uint64_t(info.st_blocks) * 512, 160u * 1024 * 1024);
    ExpectCleanVolume(image, image.string());
}

TEST_F(Fat32FormatterTest, SizingHoldsEveryClusterAndRefusesWhatIsNotFat32)
{
    std::string error;
    for (std::uint64_t mebibytes : { 260ull, 300ull, 1000ull, 7633ull, 40960ull, 65536ull, 476940ull, 953869ull }) {
        auto layout = Fat32Formatter::Plan(mebibytes << 20, 512, 4096, error);
        ASSERT_TRUE(layout) << mebibytes << " MiB: " << error;
        std::uint64_t entries = std::uint64_t(layout->fatSectors) * 512 / 4;
        EXPECT_GE(entries, layout->clusterCount + 2ull) << mebibytes << " MiB: the FAT misses clusters";
        EXPECT_LT(entries - layout->clusterCount - 2, 2 * 128u) << mebibytes << " MiB: the FATs are too large";
        EXPECT_EQ(layout->DataOffset() % 4096, 0u) << mebibytes << " MiB";
        EXPECT_LE(layout->DataOffset() + layout->DataSize(), mebibytes << 20);
        EXPECT_GT(layout->DataOffset() + layout->DataSize() + 4096, (mebibytes << 20) - 4096) << "clusters left unused";
    }
    EXPECT_FALSE(Fat32Formatter::Plan(250ull << 20, 512, 4096, error));
    EXPECT_NE(error.find("65525"), std::string::npos) << error;
    EXPECT_FALSE(Fat32Formatter::Plan(3ull << 40, 512, 4096, error)) << "more than 2^32 sectors";
    EXPECT_FALSE(Fat32Formatter::Plan(1ull << 40, 512, 512, error)) << "more clusters than FAT32 counts";
}

// A disk of any size gets one partition from 1 MiB that FAT32 with 4096-byte clusters and a
// master boot record both take; mkfs.fat's own limit is 268435441 clusters.
TEST_F(Fat32FormatterTest, TheStickPartitionIsCappedByFat32AndTheMasterBootRecord)
{
    using platform::StickPartition;
    constexpr std::uint64_t kMkfsClusterLimit = 268435441;
    const std::uint64_t largest = StickPartition::LargestFat32Volume(512, 4096);
    std::string error;
    auto layout = Fat32Formatter::Plan(largest, 512, 4096, error);
    ASSERT_TRUE(layout) << error;
    EXPECT_LE(layout->clusterCount, kMkfsClusterLimit);
    EXPECT_GT(layout->clusterCount, kMkfsClusterLimit - 512) << "clusters given away";
    EXPECT_EQ(largest % StickPartition::kAlignment, 0u);

    for (std::uint64_t disk : { 1536ull << 30, 3ull << 40, 1ull << 41 }) {
        auto partition = StickPartition::ForDisk(disk, 512, 4096);
        EXPECT_EQ(partition.offset, 1u << 20);
        EXPECT_EQ(partition.size, largest) << disk << " bytes: the rest of the disk stays unallocated";
    }
    auto sectors4k = StickPartition::ForDisk(3ull << 40, 4096, 4096);
    ASSERT_TRUE(Fat32Formatter::Plan(sectors4k.size, 4096, 4096, error)) << error;
    EXPECT_LE(Fat32Formatter::Plan(sectors4k.size, 4096, 4096, error)->clusterCount, kMkfsClusterLimit);

    // Where larger clusters let FAT32 grow past 2 TiB, the record's 2^32 sectors end the partition.
    auto large = StickPartition::ForDisk(8ull << 40, 512, 32768);
    EXPECT_EQ(large.offset + large.size, 512ull << 32);
    // A small stick: all of it after the first MiB.
    EXPECT_EQ(StickPartition::ForDisk((64ull << 20) + 4096, 512, 4096).size, (63ull << 20) + 4096);
    EXPECT_EQ(StickPartition::ForDisk(1u << 20, 512, 4096).size, 0u);
}

TEST_F(Fat32FormatterTest, AStoppedFormatLeavesNoVolume)
{
    auto image = MakeImage("stick.img", 300);
    ASSERT_TRUE(FormatWithOwnWriter(image, 0, 300 * 1024 * 1024, {}).ok);
    auto outcome = FormatWithOwnWriter(image, 0, 300 * 1024 * 1024, {}, 10);
    EXPECT_FALSE(outcome.ok);
    EXPECT_EQ(outcome.percents.back(), 10u);
    EXPECT_NE(ReadBytes(image, 0x52, 5), std::vector<std::uint8_t>({ 'F', 'A', 'T', '3', '2' }));
}

} // namespace
