// FormatEx on real image files: mkfs.fat, fsck.fat and the bytes of the result.

#include "StickTestSupport.h"

#include "platform/Format.h"
#include "platform/posix/MasterBootRecord.h"

#include <csignal>
#include <sys/resource.h>

using namespace stick_test;
using platform::posix::MasterBootRecord;

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
    FormatDrive(Root(letters[0]), false, record);

    ASSERT_EQ(record.doneFlags, std::vector<int>({ 1 }));
    EXPECT_EQ(record.commandOrder.back(), platform::kFormatDone);
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
    FormatDrive(Root(letters[0]), true, record);

    ASSERT_EQ(record.doneFlags, std::vector<int>({ 1 }));
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
    struct Case {
        std::wstring root;
        const wchar_t* fileSystem;
    };
    const Case cases[] = {
        { L"D:\\", L"FAT32" },                // the CD itself
        { L"Q:\\", L"FAT32" },                // no such drive
        { L"", L"FAT32" },                    // no drive at all
        { Root(letters[0]), L"NTFS" },        // a file system we don't make
    };
    for (auto& testCase : cases) {
        FormatRecord record;
        FormatDrive(testCase.root, false, record, testCase.fileSystem);
        EXPECT_EQ(record.doneFlags, std::vector<int>({ 0 }));
        EXPECT_TRUE(record.percents.empty());
    }
    EXPECT_TRUE(AllZero(ReadBytes(image, 0, 512))) << "a refused format wrote to the stick";
}

TEST_F(FormatTest, VanishedStickOrWriteErrorEndsWithFailure)
{
    auto image = MakeImage("stick.img", 64);
    auto letters = UseDrives({ image });
    fs::remove(image);
    FormatRecord vanished;
    FormatDrive(Root(letters[0]), false, vanished);
    EXPECT_EQ(vanished.doneFlags, std::vector<int>({ 0 }));

    // Writes beyond 24 MiB fail with EFBIG, as a stick pulled in the middle of the zero pass.
    image = MakeImage("stick.img", 64);
    rlimit previous {};
    ::getrlimit(RLIMIT_FSIZE, &previous);
    auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limited = previous;
    limited.rlim_cur = 24 * 1024 * 1024;
    ::setrlimit(RLIMIT_FSIZE, &limited);
    FormatRecord failing;
    FormatDrive(Root(letters[0]), false, failing);
    ::setrlimit(RLIMIT_FSIZE, &previous);
    std::signal(SIGXFSZ, previousHandler);
    EXPECT_EQ(failing.doneFlags, std::vector<int>({ 0 }));
    ASSERT_FALSE(failing.percents.empty());
    EXPECT_LT(failing.percents.back(), 100u);
}

TEST_F(FormatTest, CallbackAnsweringFalseStopsTheFormat)
{
    auto image = MakeImage("stick.img", 64);
    auto letters = UseDrives({ image });
    FormatRecord record;
    record.stopAtPercent = 10;
    FormatDrive(Root(letters[0]), false, record);
    EXPECT_EQ(record.doneFlags, std::vector<int>({ 0 }));
    EXPECT_EQ(record.percents.back(), 10u);
    EXPECT_NE(ReadBytes(image, 1024 * 1024 + 0x52, 5), std::vector<std::uint8_t>({ 'F', 'A', 'T', '3', '2' }));
}

TEST(FormatEntryPoints, OnlyTheFormatLibraryHasThem)
{
    EXPECT_EQ(platform::LoadLibraryW(L"kernel32.dll"), nullptr);
    auto module = platform::LoadLibraryW(L"FMIFS.DLL");
    ASSERT_NE(module, nullptr);
    EXPECT_NE(platform::GetProcAddress(module, "FormatEx"), nullptr);
    EXPECT_NE(platform::GetProcAddress(module, "EnableVolumeCompression"), nullptr);
    EXPECT_EQ(platform::GetProcAddress(module, "Chkdsk"), nullptr);
    EXPECT_EQ(platform::GetProcAddress(nullptr, "FormatEx"), nullptr);
}

TEST(MasterBootRecordTest, ChsFieldsAndActiveFlag)
{
    EXPECT_EQ(MasterBootRecord::EncodeChs(0), (std::array<std::uint8_t, 3> { 0, 1, 0 }));
    EXPECT_EQ(MasterBootRecord::EncodeChs(2048), (std::array<std::uint8_t, 3> { 32, 33, 0 }));
    // Cylinder 300 = 0x12C: its top two bits go into the sector byte.
    EXPECT_EQ(MasterBootRecord::EncodeChs(300 * 255 * 63), (std::array<std::uint8_t, 3> { 0, 0x41, 0x2C }));
    EXPECT_EQ(MasterBootRecord::EncodeChs(0xFFFFFFF0u), (std::array<std::uint8_t, 3> { 254, 0xFF, 0xFF }));

    MasterBootRecord record(0x12345678);
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
    EXPECT_FALSE(MasterBootRecord::Parse(garbage, sizeof garbage));
    EXPECT_FALSE(MasterBootRecord::Parse(record.Bytes().data(), 100));
    EXPECT_TRUE(MasterBootRecord::Parse(record.Bytes().data(), 512));
}

} // namespace
