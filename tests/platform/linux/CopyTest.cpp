// Files copied into a held stick's real FAT volume on an image file, read back with mtools and
// through the held stick.

#include "StickTestSupport.h"

#include "platform/ReadBack.h"

using namespace stick_test;

namespace {

struct ProgressCall {
    std::int64_t total;
    std::int64_t transferred;
};

std::string Pattern(std::size_t size, int seed)
{
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<char>((i * 31 + seed) ^ (i >> 9));
    return bytes;
}

class CopyTest : public StickFixture {
protected:
    // A quick-formatted 300 MiB stick (FAT32 with 4096-byte clusters needs 65525 clusters and more).
    char FormattedStick()
    {
        m_image = MakeImage("stick.img", 300);
        char letter = UseDrives({ m_image })[0];
        FormatRecord record;
        FormatDrive(letter, true, record);
        EXPECT_EQ(record.outcome, platform::FormatOutcome::Done);
        m_stick = HoldStick(letter);
        EXPECT_TRUE(m_stick);
        return letter;
    }
    void TearDown() override
    {
        m_stick.reset();
        StickFixture::TearDown();
    }
    bool Copy(const std::wstring& source, const std::wstring& name, const platform::CopyProgress& progress = {})
    {
        return m_stick && m_stick->CopyIn(source, name, progress);
    }
    std::string Mtools(const std::string& command)
    {
        return "MTOOLS_SKIP_CHECK=1 MTOOLSRC=/dev/null " + command + " -i " + m_image.string() + "@@1048576 ";
    }
    std::string ReadBack(const std::string& name)
    {
        auto out = m_root / "readback";
        fs::remove(out);
        auto result = Shell(Mtools("mcopy") + "::/" + name + " " + out.string());
        return result.status == 0 ? ReadFile(out) : "<" + result.output + ">";
    }
    fs::path m_image;
    std::unique_ptr<platform::HeldStick> m_stick;
};

TEST_F(CopyTest, TheFiveLiveSystemFilesKeepTheirExactNamesAndBytes)
{
    FormattedStick();
    struct File {
        std::string cdPath;
        std::wstring source;
        std::wstring destination;
        std::string stickName;
        std::string bytes;
    };
    std::vector<File> files = {
        { "_DEROZAZLIVE", L"D:\\_DEROZAZLIVE", L".Derozazlive", ".Derozazlive", "marker\n" },
        { "ISOLINUX/initrd.img", L"D:\\ISOLINUX\\initrd.img", L"initrd.img", "initrd.img", Pattern(300000, 1) },
        { "ISOLINUX/root.lzm", L"D:\\ISOLINUX\\root.lzm", L"root.lzm", "root.lzm", Pattern(3 * 1024 * 1024 + 17, 2) },
        { "ISOLINUX/syslinux.cfg", L"D:\\ISOLINUX\\syslinux.cfg", L"syslinux.cfg", "syslinux.cfg", "DEFAULT x\n" },
        { "ISOLINUX/vmlinuz", L"D:\\isolinux\\VMLINUZ", L"vmlinuz", "vmlinuz", Pattern(1000000, 3) },
    };
    for (auto& file : files) {
        WriteFile(Cd() / file.cdPath, file.bytes);
        EXPECT_TRUE(Copy(file.source, L"\\" + file.destination)) << file.stickName;
    }
    // Bare listing: the names as a reader of the volume sees them (long names, or 8.3 names with
    // their lower-case flags).
    auto listing = Shell(Mtools("mdir") + "-a -b ::/");
    ASSERT_EQ(listing.status, 0) << listing.output;
    for (auto& file : files) {
        EXPECT_NE(listing.output.find("::/" + file.stickName + "\n"), std::string::npos) << listing.output;
        EXPECT_EQ(ReadBack(file.stickName), file.bytes) << file.stickName;
    }
    auto partition = m_root / "partition.img";
    Shell("dd if=" + m_image.string() + " of=" + partition.string() + " bs=1M skip=1 status=none");
    auto check = Shell("fsck.fat -n " + partition.string());
    EXPECT_EQ(check.status, 0) << check.output;
}

TEST_F(CopyTest, ProgressFollowsRealByteCountsAtLeastEveryMebibyte)
{
    FormattedStick();
    auto bytes = Pattern(5 * 1024 * 1024 + 12345, 4);
    WriteFile(Cd() / "ISOLINUX" / "root.lzm", bytes);
    std::vector<ProgressCall> calls;
    auto record = [&calls](std::int64_t total, std::int64_t transferred) {
        calls.push_back({ total, transferred });
        return true;
    };
    ASSERT_TRUE(Copy(L"D:\\ISOLINUX\\root.lzm", L"\\root.lzm", record));

    ASSERT_GE(calls.size(), 7u);
    EXPECT_EQ(calls.front().transferred, 0) << "the first report comes before any byte";
    EXPECT_EQ(calls.back().transferred, static_cast<std::int64_t>(bytes.size()));
    for (std::size_t i = 1; i < calls.size(); ++i) {
        EXPECT_EQ(calls[i].total, static_cast<std::int64_t>(bytes.size()));
        EXPECT_GT(calls[i].transferred, calls[i - 1].transferred);
        EXPECT_LE(calls[i].transferred - calls[i - 1].transferred, 1024 * 1024);
    }
    EXPECT_EQ(ReadBack("root.lzm"), bytes);

    // A progress that stops the copy leaves no half file behind.
    auto stopAfterFirstChunk = [](std::int64_t, std::int64_t transferred) { return transferred == 0; };
    EXPECT_FALSE(Copy(L"D:\\ISOLINUX\\root.lzm", L"\\other.lzm", stopAfterFirstChunk));
    EXPECT_EQ(Shell(Mtools("mdir") + "-b ::/other.lzm").status, 1);
}

TEST_F(CopyTest, ReplacesAnExistingFile)
{
    FormattedStick();
    WriteFile(Cd() / "first", Pattern(200000, 5));
    WriteFile(Cd() / "second", "short\n");
    ASSERT_TRUE(Copy(L"D:\\first", L"\\initrd.img"));
    ASSERT_TRUE(Copy(L"D:\\second", L"\\initrd.img"));
    EXPECT_EQ(ReadBack("initrd.img"), "short\n");
    auto listing = Shell(Mtools("mdir") + "-b ::/");
    EXPECT_EQ(std::count(listing.output.begin(), listing.output.end(), '\n'), 1) << listing.output;
}

TEST_F(CopyTest, FailuresAreReportedAndLoseNothing)
{
    FormattedStick();
    WriteFile(Cd() / "keep", "kept\n");
    ASSERT_TRUE(Copy(L"D:\\keep", L"\\keep"));

    EXPECT_FALSE(Copy(L"D:\\missing", L"\\missing"));
    EXPECT_FALSE(Copy(L"D:\\ISOLINUX", L"\\folder")) << "a folder is no file";
    EXPECT_FALSE(Copy(L"Q:\\keep", L"\\x"));

    // More than the stick holds: mcopy fails and no partial file stays.
    {
        std::ofstream big(Cd() / "big", std::ios::binary);
        big.close();
        fs::resize_file(Cd() / "big", 320ull * 1024 * 1024);
    }
    EXPECT_FALSE(Copy(L"D:\\big", L"\\big"));
    EXPECT_EQ(Shell(Mtools("mdir") + "-b ::/big").status, 1);
    EXPECT_EQ(ReadBack("keep"), "kept\n");

    fs::remove(m_image);
    EXPECT_FALSE(Copy(L"D:\\keep", L"\\again")) << "the stick is gone";
}

TEST_F(CopyTest, ReadingBackFindsBytesChangedOnTheStickAfterTheCopy)
{
    FormattedStick();
    std::string original = Pattern(3 * 1024 * 1024 + 17, 5);
    WriteFile(Cd() / "ISOLINUX" / "root.lzm", original);
    ASSERT_TRUE(Copy(L"D:\\ISOLINUX\\root.lzm", L"\\root.lzm"));
    std::string detail;
    EXPECT_EQ(m_stick->ReadBack(L"D:\\ISOLINUX\\root.lzm", L"\\root.lzm", detail), platform::ReadBackResult::Same) << detail;

    // One byte in the middle of the file's clusters changes on the medium, the size stays.
    std::string spoilt = original;
    spoilt[2 * 1024 * 1024] ^= 0x40;
    WriteFile(m_root / "spoilt", spoilt);
    ASSERT_EQ(Shell(Mtools("mcopy") + "-o " + (m_root / "spoilt").string() + " ::/root.lzm").status, 0);
    EXPECT_EQ(m_stick->ReadBack(L"D:\\ISOLINUX\\root.lzm", L"\\root.lzm", detail), platform::ReadBackResult::Different);
    EXPECT_NE(detail.find("root.lzm"), std::string::npos) << detail;

    // Shorter on the medium, and not there at all.
    WriteFile(m_root / "short", original.substr(0, original.size() - 1));
    ASSERT_EQ(Shell(Mtools("mcopy") + "-o " + (m_root / "short").string() + " ::/root.lzm").status, 0);
    EXPECT_EQ(m_stick->ReadBack(L"D:\\ISOLINUX\\root.lzm", L"\\root.lzm", detail), platform::ReadBackResult::Different);
    EXPECT_EQ(m_stick->ReadBack(L"D:\\ISOLINUX\\root.lzm", L"\\missing.lzm", detail), platform::ReadBackResult::Unreadable);

    // A freshly formatted stick has no boot code and no boot loader yet.
    EXPECT_FALSE(m_stick->ReadBackBootPieces(detail));
    EXPECT_NE(detail.find("boot code"), std::string::npos) << detail;
}

} // namespace
