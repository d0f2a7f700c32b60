// Writes a whole recovery stick into an image file through the platform's held stick, in the order the
// writer makes them. Run by tests/scripts/boot_demo_stick.sh, which boots the result; skipped
// unless ARKEVEN_STICK_IMAGE (the image to write) and ARKEVEN_STICK_CD (the demo CD) are set.
// With ARKEVEN_STICK_OWN_FAT32 set, the volume comes from the platform's own FAT32 writer (a quick
// format of a partition from 1 MiB), as Windows makes it on sticks its format service refuses.

#include "StickTestSupport.h"

using namespace stick_test;

namespace {

TEST(StickImageWriter, WritesABootableStick)
{
    const char* image = std::getenv("ARKEVEN_STICK_IMAGE");
    const char* cd = std::getenv("ARKEVEN_STICK_CD");
    if (!image || !cd)
        GTEST_SKIP() << "set ARKEVEN_STICK_IMAGE and ARKEVEN_STICK_CD to write a stick";

    bool ownFat32 = std::getenv("ARKEVEN_STICK_OWN_FAT32") != nullptr;
    if (ownFat32) {
        WritePartitionTable(image);
        platform::Fat32Formatter::Settings settings;
        settings.quick = true;
        settings.hiddenSectors = 2048;
        auto outcome = FormatWithOwnWriter(image, 1024 * 1024, fs::file_size(image) - 1024 * 1024, settings);
        ASSERT_TRUE(outcome.ok) << outcome.error;
    }

    platform::posix::DriveTable::Options options;
    options.sysfsRoot = "/nonexistent";
    options.cdRoot = cd;
    options.virtualSticks = image;
    platform::posix::DriveTable::ResetInstance(options);
    char letter = 0;
    for (auto& drive : platform::posix::DriveTable::Instance().Drives())
        if (drive.kind == platform::posix::DriveInfo::Kind::VirtualStick)
            letter = drive.letter;
    ASSERT_NE(letter, 0);

    if (!ownFat32) {
        FormatRecord record;
        FormatDrive(letter, std::getenv("ARKEVEN_STICK_QUICK") != nullptr, record);
        ASSERT_EQ(record.outcome, platform::FormatOutcome::Done);
    }

    {
        auto stick = HoldStick(letter);
        ASSERT_TRUE(stick);
        auto ignore = [](std::int64_t, std::int64_t) { return true; };
        EXPECT_TRUE(stick->CopyIn(L"D:\\_DEROZAZLIVE", L"\\.Derozazlive", {}));
        EXPECT_TRUE(stick->CopyIn(L"D:\\ISOLINUX\\initrd.img", L"\\initrd.img", {}));
        EXPECT_TRUE(stick->CopyIn(L"D:\\ISOLINUX\\root.lzm", L"\\root.lzm", ignore));
        EXPECT_TRUE(stick->CopyIn(L"D:\\ISOLINUX\\syslinux.cfg", L"\\syslinux.cfg", {}));
        EXPECT_TRUE(stick->CopyIn(L"D:\\ISOLINUX\\vmlinuz", L"\\vmlinuz", {}));
        EXPECT_EQ(stick->InstallBootLoader(L"D:\\syslinux\\syslinux"), 0);
    }
    platform::posix::DriveTable::ResetInstance();
}

} // namespace
