// The boot-loader installer on a held stick's real image, with Debian's syslinux.

#include "StickTestSupport.h"

#include "platform/linux/ChildProcess.h"
#include "platform/disk/MasterBootRecord.h"

using namespace stick_test;

namespace {

const char* kSystemInstaller = "/usr/bin/syslinux";
const char* kSystemMbrCode = "/usr/lib/syslinux/mbr/mbr.bin";

class InstallerTest : public StickFixture {
protected:
    void SetUp() override
    {
        StickFixture::SetUp();
        if (!fs::exists(kSystemInstaller) || !fs::exists(kSystemMbrCode))
            GTEST_SKIP() << "syslinux is not installed (scripts/setup)";
        fs::create_directories(Cd() / "syslinux");
        fs::copy_file(kSystemInstaller, Cd() / "syslinux" / "syslinux");
        fs::copy_file(kSystemMbrCode, Cd() / "syslinux" / "mbr.bin");
    }
    static constexpr const wchar_t* kInstaller = L"D:\\syslinux\\syslinux";

    // The installer run on a freshly held stick; -1 when the stick can't be held.
    int Install(char letter, const wchar_t* program = kInstaller)
    {
        auto stick = HoldStick(letter);
        return stick ? stick->InstallBootLoader(program) : -1;
    }
};

TEST_F(InstallerTest, InstallsLoaderBootCodeAndActiveFlag)
{
    auto image = MakeImage("stick.img", 300);
    char letter = UseDrives({ image })[0];
    FormatRecord record;
    FormatDrive(letter, true, record);
    ASSERT_EQ(record.outcome, platform::FormatOutcome::Done);
    auto tableBefore = ReadBytes(image, 440, 72);

    auto stick = HoldStick(letter);
    ASSERT_TRUE(stick);
    EXPECT_EQ(stick->InstallBootLoader(kInstaller), 0);
    std::string detail;
    EXPECT_TRUE(stick->ReadBackBootPieces(detail)) << detail;
    stick.reset();

    auto listing = Shell("MTOOLS_SKIP_CHECK=1 MTOOLSRC=/dev/null mdir -a -b -i " + image.string() + "@@1048576 ::/");
    EXPECT_NE(listing.output.find("::/ldlinux.sys\n"), std::string::npos) << listing.output;
    auto mbr = ReadBytes(image, 0, 512);
    auto code = ReadBytes(kSystemMbrCode, 0, 440);
    EXPECT_TRUE(std::equal(code.begin(), code.end(), mbr.begin())) << "MBR boot code differs from mbr.bin";
    EXPECT_EQ(mbr[446], 0x80) << "partition not active";
    auto tableAfter = ReadBytes(image, 440, 72);
    tableAfter[6] = tableBefore[6]; // the status byte of entry 1 (446 - 440) is the one change
    EXPECT_EQ(tableAfter, tableBefore);
    EXPECT_EQ(mbr[510], 0x55);
    EXPECT_EQ(mbr[511], 0xAA);
}

TEST_F(InstallerTest, FailuresGiveNonZeroStatus)
{
    auto blank = MakeImage("blank.img", 64);
    auto formatted = MakeImage("formatted.img", 300);
    auto letters = UseDrives({ blank, formatted });
    EXPECT_NE(Install(letters[0]), 0) << "no FAT volume on a blank stick";

    FormatRecord record;
    FormatDrive(letters[1], true, record);
    fs::remove(Cd() / "syslinux" / "mbr.bin");
    EXPECT_NE(Install(letters[1]), 0) << "no boot code beside the installer";
    fs::remove(Cd() / "syslinux" / "syslinux");
    EXPECT_NE(Install(letters[1]), 0) << "no installer on the CD";
    EXPECT_NE(Install(letters[1], L"Q:\\syslinux\\syslinux"), 0) << "an installer on no known drive";
    EXPECT_FALSE(HoldStick('D')) << "never the CD";
}

// The tools beside the CD's installer come before the system's, for the job (FindProgram) and for
// the installer, which runs mtools by name: many systems have no mtools, or another one.
TEST_F(InstallerTest, TakesTheCdsToolsBeforeTheSystems)
{
    auto image = MakeImage("stick.img", 300);
    char letter = UseDrives({ image })[0];
    FormatRecord record;
    FormatDrive(letter, true, record);
    auto calls = m_root / "calls";
    for (const char* tool : { "mcopy", "mattrib" }) {
        auto standIn = Cd() / "syslinux" / tool;
        std::ofstream(standIn) << "#!/bin/sh\necho " << tool << " >>" << calls.string() << "\nexec /usr/bin/" << tool << " \"$@\"\n";
        fs::permissions(standIn, fs::perms::owner_all);
    }
    EXPECT_EQ(platform::linux::ChildProcess::FindProgram("mcopy"), (Cd() / "syslinux" / "mcopy").string());

    EXPECT_EQ(Install(letter), 0);
    std::ifstream recorded(calls);
    std::string called((std::istreambuf_iterator<char>(recorded)), std::istreambuf_iterator<char>());
    EXPECT_NE(called.find("mcopy\n"), std::string::npos) << called;
    EXPECT_NE(called.find("mattrib\n"), std::string::npos) << called;
}

} // namespace
