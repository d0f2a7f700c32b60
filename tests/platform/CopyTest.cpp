// CopyFileW / CopyFileExW into a real FAT volume on an image file, read back with mtools.

#include "StickTestSupport.h"

#include "platform/FileCopy.h"
#include "platform/ReadBack.h"

using namespace stick_test;

namespace {

struct ProgressCall {
    std::int64_t total;
    std::int64_t transferred;
    std::uint32_t reason;
};

std::uint32_t RecordProgress(std::int64_t total, std::int64_t transferred, std::int64_t, std::int64_t, std::uint32_t,
    std::uint32_t reason, void*, void*, void* data)
{
    static_cast<std::vector<ProgressCall>*>(data)->push_back({ total, transferred, reason });
    return platform::kProgressContinue;
}

std::uint32_t CancelAfterFirstChunk(std::int64_t, std::int64_t transferred, std::int64_t, std::int64_t, std::uint32_t,
    std::uint32_t, void*, void*, void*)
{
    return transferred > 0 ? 1 : platform::kProgressContinue;
}

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
        FormatDrive(Root(letter), true, record);
        EXPECT_EQ(record.doneFlags, std::vector<int>({ 1 }));
        return letter;
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
    static std::wstring At(char letter, const std::wstring& rest) { return std::wstring(1, letter) + L":\\" + rest; }

    fs::path m_image;
};

TEST_F(CopyTest, TheFiveLiveSystemFilesKeepTheirExactNamesAndBytes)
{
    char letter = FormattedStick();
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
        EXPECT_TRUE(platform::CopyFileW(file.source, At(letter, file.destination), false)) << file.stickName;
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
    char letter = FormattedStick();
    auto bytes = Pattern(5 * 1024 * 1024 + 12345, 4);
    WriteFile(Cd() / "ISOLINUX" / "root.lzm", bytes);
    std::vector<ProgressCall> calls;
    ASSERT_TRUE(platform::CopyFileExW(L"D:\\ISOLINUX\\root.lzm", At(letter, L"root.lzm"), RecordProgress, &calls, nullptr, 0));

    ASSERT_GE(calls.size(), 7u);
    EXPECT_EQ(calls.front().transferred, 0);
    EXPECT_EQ(calls.front().reason, 1u) << "the first report opens the stream";
    EXPECT_EQ(calls.back().transferred, static_cast<std::int64_t>(bytes.size()));
    for (std::size_t i = 1; i < calls.size(); ++i) {
        EXPECT_EQ(calls[i].total, static_cast<std::int64_t>(bytes.size()));
        EXPECT_GT(calls[i].transferred, calls[i - 1].transferred);
        EXPECT_LE(calls[i].transferred - calls[i - 1].transferred, 1024 * 1024);
    }
    EXPECT_EQ(ReadBack("root.lzm"), bytes);

    // A routine that cancels leaves no half file behind.
    EXPECT_FALSE(platform::CopyFileExW(L"D:\\ISOLINUX\\root.lzm", At(letter, L"other.lzm"), CancelAfterFirstChunk, nullptr, nullptr, 0));
    EXPECT_EQ(Shell(Mtools("mdir") + "-b ::/other.lzm").status, 1);
}

TEST_F(CopyTest, ReplacesAnExistingFileUnlessAskedNotTo)
{
    char letter = FormattedStick();
    WriteFile(Cd() / "first", Pattern(200000, 5));
    WriteFile(Cd() / "second", "short\n");
    ASSERT_TRUE(platform::CopyFileW(L"D:\\first", At(letter, L"initrd.img"), false));
    ASSERT_TRUE(platform::CopyFileW(L"D:\\second", At(letter, L"initrd.img"), false));
    EXPECT_EQ(ReadBack("initrd.img"), "short\n");
    auto listing = Shell(Mtools("mdir") + "-b ::/");
    EXPECT_EQ(std::count(listing.output.begin(), listing.output.end(), '\n'), 1) << listing.output;

    EXPECT_FALSE(platform::CopyFileW(L"D:\\first", At(letter, L"initrd.img"), true));
    EXPECT_EQ(ReadBack("initrd.img"), "short\n");
}

TEST_F(CopyTest, FailuresAreReportedAndLoseNothing)
{
    char letter = FormattedStick();
    WriteFile(Cd() / "keep", "kept\n");
    ASSERT_TRUE(platform::CopyFileW(L"D:\\keep", At(letter, L"keep"), false));

    EXPECT_FALSE(platform::CopyFileW(L"D:\\missing", At(letter, L"missing"), false));
    EXPECT_FALSE(platform::CopyFileW(L"D:\\ISOLINUX", At(letter, L"folder"), false)) << "a folder is no file";
    EXPECT_FALSE(platform::CopyFileW(L"Q:\\keep", At(letter, L"x"), false));
    EXPECT_FALSE(platform::CopyFileW(L"D:\\keep", L"Q:\\keep", false));

    // More than the stick holds: mcopy fails and no partial file stays.
    {
        std::ofstream big(Cd() / "big", std::ios::binary);
        big.close();
        fs::resize_file(Cd() / "big", 320ull * 1024 * 1024);
    }
    EXPECT_FALSE(platform::CopyFileW(L"D:\\big", At(letter, L"big"), false));
    EXPECT_EQ(Shell(Mtools("mdir") + "-b ::/big").status, 1);
    EXPECT_EQ(ReadBack("keep"), "kept\n");

    fs::remove(m_image);
    EXPECT_FALSE(platform::CopyFileW(L"D:\\keep", At(letter, L"again"), false)) << "the stick is gone";
}

TEST_F(CopyTest, ReadingBackFindsBytesChangedOnTheStickAfterTheCopy)
{
    char letter = FormattedStick();
    std::string original = Pattern(3 * 1024 * 1024 + 17, 5);
    WriteFile(Cd() / "ISOLINUX" / "root.lzm", original);
    ASSERT_TRUE(platform::CopyFileW(L"D:\\ISOLINUX\\root.lzm", At(letter, L"root.lzm"), false));
    std::string detail;
    EXPECT_EQ(platform::ReadBackCopy(L"D:\\ISOLINUX\\root.lzm", At(letter, L"root.lzm"), detail), platform::ReadBackResult::Same) << detail;

    // One byte in the middle of the file's clusters changes on the medium, the size stays.
    std::string spoilt = original;
    spoilt[2 * 1024 * 1024] ^= 0x40;
    WriteFile(m_root / "spoilt", spoilt);
    ASSERT_EQ(Shell(Mtools("mcopy") + "-o " + (m_root / "spoilt").string() + " ::/root.lzm").status, 0);
    EXPECT_EQ(platform::ReadBackCopy(L"D:\\ISOLINUX\\root.lzm", At(letter, L"root.lzm"), detail), platform::ReadBackResult::Different);
    EXPECT_NE(detail.find("root.lzm"), std::string::npos) << detail;

    // Shorter on the medium, and not there at all.
    WriteFile(m_root / "short", original.substr(0, original.size() - 1));
    ASSERT_EQ(Shell(Mtools("mcopy") + "-o " + (m_root / "short").string() + " ::/root.lzm").status, 0);
    EXPECT_EQ(platform::ReadBackCopy(L"D:\\ISOLINUX\\root.lzm", At(letter, L"root.lzm"), detail), platform::ReadBackResult::Different);
    EXPECT_EQ(platform::ReadBackCopy(L"D:\\ISOLINUX\\root.lzm", At(letter, L"missing.lzm"), detail), platform::ReadBackResult::Unreadable);

    // A freshly formatted stick has no boot code and no boot loader yet.
    EXPECT_FALSE(platform::ReadBackBootPieces(static_cast<wchar_t>(letter), detail));
    EXPECT_NE(detail.find("boot code"), std::string::npos) << detail;
}

TEST_F(CopyTest, PlainDestinationsAreOrdinaryFiles)
{
    UseDrives({});
    auto bytes = Pattern(2 * 1024 * 1024 + 3, 6);
    WriteFile(Cd() / "ISOLINUX" / "vmlinuz", bytes);
    auto target = m_root / "copy-of-vmlinuz";
    std::vector<ProgressCall> calls;
    ASSERT_TRUE(platform::CopyFileExW(L"D:\\ISOLINUX\\vmlinuz", platform::posix::DriveTable::Instance().ToDrivePath(target.string()).empty()
            ? std::wstring() : std::wstring(target.wstring()), RecordProgress, &calls, nullptr, 0));
    EXPECT_EQ(ReadFile(target), bytes);
    EXPECT_EQ(calls.back().transferred, static_cast<std::int64_t>(bytes.size()));
    EXPECT_FALSE(platform::CopyFileW(L"D:\\ISOLINUX\\vmlinuz", target.wstring(), true));
}

} // namespace
