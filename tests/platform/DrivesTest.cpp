#include "FakeSysfs.h"

#include "platform/Drives.h"
#include "platform/Utf8.h"
#include "platform/posix/DriveTable.h"
#include "platform/posix/Uevent.h"

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <mutex>
#include <vector>

using namespace platform;
using platform::posix::DriveTable;

namespace {

constexpr std::uint64_t kStickBytes = 2'000'000'000;

// The process-wide table over a fake machine: the CD root, a USB stick (sdb), an internal disk
// (sda) whose node is missing, a USB disk (sdc) whose node is a FIFO, and three virtual sticks.
class DrivesTest : public ::testing::Test {
protected:
    DrivesTest()
        : m_sysfs(m_temp.Path())
    {
        m_sysfs.AddScsiDisk("sda", FakeSysfs::kSataDisk, 976773168, false);
        m_sysfs.AddScsiDisk("sdb", FakeSysfs::kUsbStick, kStickBytes / 512, true);
        m_sysfs.AddScsiDisk("sdc", FakeSysfs::kUsbSataDisk, 1953525168, false, 4096);
        fs::remove(m_sysfs.DevRoot() + "/sda");
        fs::remove(m_sysfs.DevRoot() + "/sdc");
        ::mkfifo((m_sysfs.DevRoot() + "/sdc").c_str(), 0600);
        WriteText(m_temp.Path() / "cd" / "ISOLINUX" / "vmlinuz", "kernel");
        WriteSizedFile(m_temp.Path() / "stick.img", kStickBytes);
        WriteSizedFile(m_temp.Path() / "disk.img", 1'000'000);

        DriveTable::Options options;
        options.sysfsRoot = m_sysfs.SysRoot();
        options.devRoot = m_sysfs.DevRoot();
        options.cdRoot = (m_temp.Path() / "cd").string();
        options.virtualSticks = Path("stick.img") + "," + Path("disk.img") + ":fixed," + Path("later.img");
        options.mountInfoPath = Path("no-mountinfo");
        DriveTable::ResetInstance(options);
    }
    ~DrivesTest() override { DriveTable::ResetInstance(); }

    std::string Path(const std::string& name) const { return (m_temp.Path() / name).string(); }

    static std::uint32_t Bit(char letter) { return 1u << (letter - 'A'); }

    TempFolder m_temp;
    FakeSysfs m_sysfs;
};

// Letters here: C sda, D CD root, E stick.img, F disk.img (fixed), G sdb, H sdc.

TEST_F(DrivesTest, LogicalDrivesAndTypes)
{
    EXPECT_EQ(GetLogicalDrives(), Bit('C') | Bit('D') | Bit('E') | Bit('F') | Bit('G') | Bit('H'));
    EXPECT_EQ(GetDriveTypeW(L"D:\\"), DriveType::CdRom);
    EXPECT_EQ(GetDriveTypeW(L"E:\\"), DriveType::Removable);
    EXPECT_EQ(GetDriveTypeW(L"f:\\"), DriveType::Fixed);
    EXPECT_EQ(GetDriveTypeW(L"C:\\"), DriveType::Fixed);
    EXPECT_EQ(GetDriveTypeW(L"Q:\\"), DriveType::NoRootDir);
    EXPECT_EQ(GetDriveTypeW(L""), DriveType::NoRootDir);
    EXPECT_EQ(GetDriveTypeW(L"?:\\"), DriveType::NoRootDir);

    // The mask is read afresh: a stick file that appears is a drive at once.
    WriteSizedFile(m_temp.Path() / "later.img", 4096);
    EXPECT_TRUE(GetLogicalDrives() & Bit('I'));
}

TEST_F(DrivesTest, OnlySticksAndDisksOpenAsVolumes)
{
    DeviceHandle stick = CreateFileW(L"\\\\?\\E:");
    ASSERT_TRUE(stick.IsValid());
    EXPECT_EQ(stick.Letter(), L'E');
    EXPECT_TRUE(CreateFileW(L"\\\\?\\G:").IsValid());

    EXPECT_FALSE(CreateFileW(L"\\\\?\\D:").IsValid()); // the CD root is a folder
    EXPECT_FALSE(CreateFileW(L"\\\\?\\C:").IsValid()); // no device node
    EXPECT_FALSE(CreateFileW(L"\\\\?\\H:").IsValid()); // not a disk, and must not hang
    EXPECT_FALSE(CreateFileW(L"\\\\?\\Q:").IsValid());
    EXPECT_FALSE(CreateFileW(L"garbage").IsValid());

    // The descriptor moves with the handle and is closed when its last owner goes.
    int fd = static_cast<int>(stick.Native());
    DeviceHandle moved = std::move(stick);
    EXPECT_FALSE(stick.IsValid());
    EXPECT_EQ(moved.Native(), fd);
    EXPECT_EQ(::fcntl(fd, F_GETFD) & FD_CLOEXEC, FD_CLOEXEC);
    moved = DeviceHandle();
    EXPECT_EQ(::fcntl(fd, F_GETFD), -1);
}

TEST_F(DrivesTest, StoragePropertyQueryReportsBusAndRemovability)
{
    DeviceHandle device = CreateFileW(L"\\\\?\\G:");
    ASSERT_TRUE(device.IsValid());
    StoragePropertyQuery query;
    std::vector<std::uint8_t> buffer(551, 0xAA);
    auto* descriptor = reinterpret_cast<StorageDeviceDescriptor*>(buffer.data());
    descriptor->size = 551;
    std::uint32_t returned = 0;

    ASSERT_TRUE(DeviceIoControl(device, kIoctlStorageQueryProperty, &query, sizeof(query), buffer.data(), descriptor->size, &returned));
    EXPECT_EQ(descriptor->busType, kBusTypeUsb);
    EXPECT_EQ(descriptor->removableMedia, 1);
    EXPECT_EQ(descriptor->version, sizeof(StorageDeviceDescriptor));
    EXPECT_EQ(descriptor->size, returned);
    ASSERT_GT(returned, 36u);
    ASSERT_LE(returned, 551u);
    ASSERT_NE(descriptor->productIdOffset, 0u);
    EXPECT_STREQ(reinterpret_cast<const char*>(buffer.data() + descriptor->productIdOffset), "Model sdb");

    // The fixed part must fit; strings are left out when they do not.
    EXPECT_FALSE(DeviceIoControl(device, kIoctlStorageQueryProperty, &query, sizeof(query), buffer.data(), 35, &returned));
    EXPECT_EQ(returned, 0u);
    ASSERT_TRUE(DeviceIoControl(device, kIoctlStorageQueryProperty, &query, sizeof(query), buffer.data(), 36, &returned));
    EXPECT_EQ(returned, 36u);
    EXPECT_EQ(descriptor->vendorIdOffset, 0u);
    EXPECT_FALSE(DeviceIoControl(device, kIoctlStorageQueryProperty, &query, 11, buffer.data(), 551, &returned));
    EXPECT_FALSE(DeviceIoControl(device, 0x2D0C14, &query, sizeof(query), buffer.data(), 551, &returned));

    DeviceHandle fixedStick = CreateFileW(L"\\\\?\\F:");
    ASSERT_TRUE(DeviceIoControl(fixedStick, kIoctlStorageQueryProperty, &query, sizeof(query), buffer.data(), 551, &returned));
    EXPECT_EQ(descriptor->removableMedia, 0);
    EXPECT_EQ(descriptor->busType, kBusTypeUsb);

    DeviceHandle invalid;
    EXPECT_FALSE(DeviceIoControl(invalid, kIoctlStorageQueryProperty, &query, sizeof(query), buffer.data(), 551, &returned));
}

// What the writer names beside the letter: a disk by its vendor, model and node, a virtual
// stick by its file alone.
TEST_F(DrivesTest, DrivesAreNamedAsTheSystemKnowsThem)
{
    GetLogicalDrives();
    DriveName stick = NameDrive(L'G');
    EXPECT_EQ(stick.model, L"Vendor Model sdb");
    EXPECT_EQ(stick.location, FromUtf8(m_sysfs.DevRoot() + "/sdb"));
    EXPECT_TRUE(stick.label.empty());
    DriveName virtualStick = NameDrive(L'e');
    EXPECT_TRUE(virtualStick.model.empty());
    EXPECT_EQ(virtualStick.location, FromUtf8(Path("stick.img")));
    EXPECT_TRUE(NameDrive(L'Q').location.empty());
}

TEST_F(DrivesTest, GeometryCountsWholeCylinders)
{
    DiskGeometry geometry {};
    std::uint32_t returned = 0;
    DeviceHandle stick = CreateFileW(L"\\\\?\\E:");
    ASSERT_TRUE(DeviceIoControl(stick, kIoctlDiskGetDriveGeometry, nullptr, 0, &geometry, sizeof(geometry), &returned));
    EXPECT_EQ(returned, sizeof(DiskGeometry));
    EXPECT_EQ(geometry.cylinders, 243);
    EXPECT_EQ(geometry.tracksPerCylinder, 255u);
    EXPECT_EQ(geometry.sectorsPerTrack, 63u);
    EXPECT_EQ(geometry.bytesPerSector, 512u);
    EXPECT_EQ(geometry.mediaType, 11u);
    std::uint64_t bytes = std::uint64_t(geometry.bytesPerSector) * geometry.sectorsPerTrack * geometry.tracksPerCylinder * geometry.cylinders;
    EXPECT_EQ(bytes, 1'998'743'040u);
    EXPECT_EQ(bytes >> 20, 1906u);

    DeviceHandle small = CreateFileW(L"\\\\?\\F:");
    ASSERT_TRUE(DeviceIoControl(small, kIoctlDiskGetDriveGeometry, nullptr, 0, &geometry, sizeof(geometry), &returned));
    EXPECT_EQ(geometry.cylinders, 0);
    EXPECT_EQ(geometry.mediaType, 12u);
    EXPECT_FALSE(DeviceIoControl(small, kIoctlDiskGetDriveGeometry, nullptr, 0, &geometry, 23, &returned));
}

TEST_F(DrivesTest, DrivePathsGoThroughTheProcessTable)
{
    std::string cd = fs::canonical(m_temp.Path() / "cd").string();
    EXPECT_EQ(ToNativePath(L"D:\\isolinux\\vmlinuz"), cd + "/ISOLINUX/vmlinuz");
    EXPECT_EQ(ToNativePath(L"E:\\vmlinuz"), "");
    EXPECT_EQ(ToDrivePath(cd + "/ISOLINUX"), L"D:\\ISOLINUX");
}

class EventLog {
public:
    void Add(std::uint32_t event)
    {
        std::lock_guard lock(m_mutex);
        m_events.push_back(event);
        m_changed.notify_all();
    }
    bool WaitFor(std::uint32_t event, std::chrono::seconds timeout)
    {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, timeout, [&] { return std::find(m_events.begin(), m_events.end(), event) != m_events.end(); });
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<std::uint32_t> m_events;
};

TEST_F(DrivesTest, WatcherReportsAVirtualStickComingAndGoing)
{
    EventLog log;
    auto watcher = WatchDeviceEvents([&](std::uint32_t event) { log.Add(event); });
    ASSERT_TRUE(watcher);

    WriteSizedFile(m_temp.Path() / "later.img", 1 << 20);
    ASSERT_TRUE(log.WaitFor(kDeviceArrival, std::chrono::seconds(10)));
    EXPECT_EQ(GetDriveTypeW(L"I:\\"), DriveType::Removable);

    fs::remove(m_temp.Path() / "later.img");
    ASSERT_TRUE(log.WaitFor(kDeviceRemoveComplete, std::chrono::seconds(10)));
    EXPECT_EQ(GetDriveTypeW(L"I:\\"), DriveType::NoRootDir);

    auto started = std::chrono::steady_clock::now();
    watcher.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(400));
}

TEST_F(DrivesTest, WatcherReportsAStickThatAListingSawFirst)
{
    EventLog log;
    auto watcher = WatchDeviceEvents([&](std::uint32_t event) { log.Add(event); });
    WriteSizedFile(m_temp.Path() / "later.img", 1 << 20);
    EXPECT_TRUE(GetLogicalDrives() & Bit('I'));
    EXPECT_TRUE(log.WaitFor(kDeviceArrival, std::chrono::seconds(10)));
}

TEST(UeventTest, ParsesKernelMessagesOnly)
{
    const char message[] = "add@/devices/pci0000:00/usb1/1-1/1-1:1.0/host6/target6:0:0/6:0:0:0/block/sdb\0"
                           "ACTION=add\0DEVPATH=/devices/x/block/sdb\0SUBSYSTEM=block\0DEVNAME=sdb\0DEVTYPE=disk\0SEQNUM=4321";
    auto event = posix::Uevent::Parse(message, sizeof(message));
    ASSERT_TRUE(event);
    EXPECT_EQ(event->action, "add");
    EXPECT_EQ(event->Variable("DEVNAME"), "sdb");
    EXPECT_EQ(event->Variable("SEQNUM"), "4321");
    EXPECT_TRUE(event->IsWholeDisk());

    const char partition[] = "remove@/devices/x/block/sdb/sdb1\0ACTION=remove\0SUBSYSTEM=block\0DEVTYPE=partition";
    auto removed = posix::Uevent::Parse(partition, sizeof(partition) - 1);
    ASSERT_TRUE(removed);
    EXPECT_FALSE(removed->IsWholeDisk());

    const char udev[] = "libudev\0\xfe\xed\xca\xfe";
    EXPECT_FALSE(posix::Uevent::Parse(udev, sizeof(udev)));
    const char mismatch[] = "add@/devices/x\0ACTION=remove\0SUBSYSTEM=block";
    EXPECT_FALSE(posix::Uevent::Parse(mismatch, sizeof(mismatch)));
    EXPECT_FALSE(posix::Uevent::Parse("@", 1));
    EXPECT_FALSE(posix::Uevent::Parse(nullptr, 0));
    const char unterminated[] = { 'c', 'h', 'a', 'n', 'g', 'e', '@', '/', 'x', '\0', 'A', '=' };
    EXPECT_TRUE(posix::Uevent::Parse(unterminated, sizeof(unterminated)));
}

} // namespace
