// Reading /proc/self/mountinfo lines and telling system mounts from a stick's.

#include "platform/linux/MountTable.h"

#include <gtest/gtest.h>

using platform::linux::MountTable;

TEST(StickMountTable, ParsesDevicesAndEscapedMountPoints)
{
    auto table = MountTable::Parse(
        "22 1 8:1 / / rw,relatime shared:1 - ext4 /dev/sda1 rw\n"
        "40 22 8:17 / /media/user/MY\\040STICK rw,nosuid shared:20 master:3 - vfat /dev/sdb1 rw,uid=1000\n"
        "41 22 0:5 / /dev rw - devtmpfs udev rw\n"
        "garbage line\n"
        "42 22 8:18 / /media/x rw -\n");
    ASSERT_EQ(table.Mounts().size(), 4u);
    EXPECT_EQ(table.Mounts()[0].major, 8u);
    EXPECT_EQ(table.Mounts()[0].minor, 1u);
    EXPECT_EQ(table.Mounts()[1].mountPoint, "/media/user/MY STICK");
    EXPECT_EQ(table.Mounts()[1].minor, 17u);
    EXPECT_EQ(table.Mounts()[1].source, "/dev/sdb1");
    EXPECT_EQ(table.Mounts()[2].major, 0u);
    EXPECT_EQ(table.Mounts()[3].source, "");
    EXPECT_EQ(MountTable::MountPointOf("/media/user/MY STICK/a/b", table.Mounts()), "/media/user/MY STICK");
    EXPECT_EQ(MountTable::MountPointOf("/home/user", table.Mounts()), "/");
}

TEST(StickMountTable, SystemMountPoints)
{
    for (const char* point : { "/", "/boot", "/boot/efi", "/usr", "/var/log", "/home" })
        EXPECT_TRUE(MountTable::IsSystemMountPoint(point)) << point;
    for (const char* point : { "/media/user/STICK", "/run/media/user/STICK", "/mnt/usb", "/usrx" })
        EXPECT_FALSE(MountTable::IsSystemMountPoint(point)) << point;
}

TEST(StickMountTable, AnImageFileNobodyMountedHasNoMounts)
{
    EXPECT_TRUE(MountTable::Load().MountsOnDisk("/proc/self/exe").empty());
    EXPECT_TRUE(MountTable::Load().MountsOnDisk("/nonexistent/stick.img").empty());
    EXPECT_FALSE(MountTable::Load().Mounts().empty());
}
