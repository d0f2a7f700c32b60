// Writes a whole recovery stick into an image file through the platform calls, in the order the
// writer makes them. Run by tests/scripts/boot_demo_stick.sh, which boots the result; skipped
// unless ARKEVEN_STICK_IMAGE (the image to write) and ARKEVEN_STICK_CD (the demo CD) are set.
// With ARKEVEN_STICK_OWN_FAT32 set, the volume comes from the platform's own FAT32 writer (a quick
// format of a partition from 1 MiB), as Windows makes it on sticks its format service refuses.

#include "StickTestSupport.h"

#include "platform/FileCopy.h"
#include "platform/Format.h"
#include "platform/Process.h"

using namespace stick_test;

namespace {

std::uint32_t IgnoreProgress(std::int64_t, std::int64_t, std::int64_t, std::int64_t, std::uint32_t, std::uint32_t, void*,
    void*, void*)
{
    return platform::kProgressContinue;
}

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
    std::wstring target(1, static_cast<wchar_t>(letter));

    if (!ownFat32) {
        FormatRecord record;
        FormatDrive(target + L":\\", std::getenv("ARKEVEN_STICK_QUICK") != nullptr, record);
        ASSERT_EQ(record.doneFlags, std::vector<int>({ 1 }));
    }

    EXPECT_TRUE(platform::CopyFileW(L"D:\\_DEROZAZLIVE", target + L":\\.Derozazlive", false));
    EXPECT_TRUE(platform::CopyFileW(L"D:\\ISOLINUX\\initrd.img", target + L":\\initrd.img", false));
    EXPECT_TRUE(platform::CopyFileExW(L"D:\\ISOLINUX\\root.lzm", target + L":\\root.lzm", IgnoreProgress, nullptr, nullptr, 0));
    EXPECT_TRUE(platform::CopyFileW(L"D:\\ISOLINUX\\syslinux.cfg", target + L":\\syslinux.cfg", false));
    EXPECT_TRUE(platform::CopyFileW(L"D:\\ISOLINUX\\vmlinuz", target + L":\\vmlinuz", false));
    EXPECT_EQ(platform::RunCommandLine(L"D:\\syslinux\\syslinux -fma " + target + L":"), 0);
    platform::posix::DriveTable::ResetInstance();
}

} // namespace
