// The boot-loader installer command line on a real stick image, with Debian's syslinux.

#include "StickTestSupport.h"

#include "platform/FileCopy.h"
#include "platform/Process.h"
#include "platform/posix/ChildProcess.h"
#include "platform/posix/InstallerCommand.h"
#include "platform/posix/MasterBootRecord.h"

using namespace stick_test;
using platform::posix::InstallerCommand;

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
    std::wstring Command(char letter, const std::wstring& options = L"-fma")
    {
        return L"D:\\syslinux\\syslinux " + options + L" " + std::wstring(1, letter) + L":";
    }
};

TEST_F(InstallerTest, InstallsLoaderBootCodeAndActiveFlag)
{
    auto image = MakeImage("stick.img", 300);
    char letter = UseDrives({ image })[0];
    FormatRecord record;
    FormatDrive(Root(letter), true, record);
    ASSERT_EQ(record.doneFlags, std::vector<int>({ 1 }));
    auto tableBefore = ReadBytes(image, 440, 72);

    EXPECT_EQ(platform::RunCommandLine(Command(letter)), 0);

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

    // Without -m and -a the boot code and flag stay as they are: zero boot code after a fresh format.
    FormatDrive(Root(letter), true, record);
    EXPECT_EQ(platform::RunCommandLine(Command(letter, L"-f")), 0);
    mbr = ReadBytes(image, 0, 512);
    EXPECT_EQ(mbr[0], 0);
    EXPECT_EQ(mbr[446], 0);
}

TEST_F(InstallerTest, FailuresGiveNonZeroStatus)
{
    auto blank = MakeImage("blank.img", 64);
    auto formatted = MakeImage("formatted.img", 300);
    auto letters = UseDrives({ blank, formatted });
    EXPECT_NE(platform::RunCommandLine(Command(letters[0])), 0) << "no FAT volume on a blank stick";

    FormatRecord record;
    FormatDrive(Root(letters[1]), true, record);
    fs::remove(Cd() / "syslinux" / "mbr.bin");
    EXPECT_NE(platform::RunCommandLine(Command(letters[1])), 0) << "no boot code beside the installer";
    fs::remove(Cd() / "syslinux" / "syslinux");
    EXPECT_NE(platform::RunCommandLine(Command(letters[1])), 0) << "no installer on the CD";
    EXPECT_NE(platform::RunCommandLine(Command('D')), 0) << "never the CD";
}

// The tools beside the CD's installer come before the system's, for the job (FindProgram) and for
// the installer, which runs mtools by name: many systems have no mtools, or another one.
TEST_F(InstallerTest, TakesTheCdsToolsBeforeTheSystems)
{
    auto image = MakeImage("stick.img", 300);
    char letter = UseDrives({ image })[0];
    FormatRecord record;
    FormatDrive(Root(letter), true, record);
    auto calls = m_root / "calls";
    for (const char* tool : { "mcopy", "mattrib" }) {
        auto standIn = Cd() / "syslinux" / tool;
        std::ofstream(standIn) << "#!/bin/sh\necho " << tool << " >>" << calls.string() << "\nexec /usr/bin/" << tool << " \"$@\"\n";
        fs::permissions(standIn, fs::perms::owner_all);
    }
    EXPECT_EQ(platform::posix::ChildProcess::FindProgram("mcopy"), (Cd() / "syslinux" / "mcopy").string());

    EXPECT_EQ(platform::RunCommandLine(Command(letter)), 0);
    std::ifstream recorded(calls);
    std::string called((std::istreambuf_iterator<char>(recorded)), std::istreambuf_iterator<char>());
    EXPECT_NE(called.find("mcopy\n"), std::string::npos) << called;
    EXPECT_NE(called.find("mattrib\n"), std::string::npos) << called;
}

TEST(InstallerCommandTest, AcceptsOnlyTheInstallerForm)
{
    std::string error;
    auto command = InstallerCommand::Parse(L"D:\\syslinux\\syslinux -fma e:", error);
    ASSERT_TRUE(command);
    EXPECT_EQ(command->program, L"D:\\syslinux\\syslinux");
    EXPECT_TRUE(command->force && command->writeMbr && command->makeActive);
    EXPECT_EQ(command->targetDrive, 'E');

    command = InstallerCommand::Parse(L"\"D:\\my cd\\syslinux\\SYSLINUX.EXE\" -a -m F:", error);
    ASSERT_TRUE(command);
    EXPECT_EQ(command->program, L"D:\\my cd\\syslinux\\SYSLINUX.EXE");
    EXPECT_FALSE(command->force);
    EXPECT_TRUE(command->writeMbr && command->makeActive);
    EXPECT_EQ(command->targetDrive, 'F');

    for (const wchar_t* bad : { L"", L"   ", L"cmd /c del E:", L"D:\\syslinux\\syslinux -fma", L"D:\\syslinux\\syslinux -x E:",
             L"D:\\syslinux\\syslinux -fma E: F:", L"D:\\syslinux\\syslinux -fma E:\\", L"D:\\syslinux\\syslinux --force E:" }) {
        error.clear();
        EXPECT_FALSE(InstallerCommand::Parse(bad, error)) << std::string(bad, bad + wcslen(bad));
        EXPECT_FALSE(error.empty());
    }
    EXPECT_EQ(platform::RunCommandLine(L"rm -rf /"), -1);
}

} // namespace
