#include "FakeSysfs.h"

#include "platform/Drives.h"
#include "platform/Sticks.h"
#include "platform/files/Utf8.h"
#include "platform/linux/DriveTable.h"
#include "platform/linux/Uevent.h"

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <mutex>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <vector>

using namespace platform;
using platform::linux::DriveTable;

namespace {

constexpr std::uint64_t kStickBytes = 2'000'000'000;

// The process-wide table over a fake machine: the CD root, a USB stick (sdb) whose node this user
// can't open (as a desktop user can't open /dev/sdb), an internal disk (sda) whose node is
// missing, a USB disk (sdc) whose node is a FIFO, and three virtual sticks.
class DrivesTest : public ::testing::Test {
protected:
    DrivesTest()
        : m_sysfs(m_temp.Path())
    {
        m_sysfs.AddScsiDisk("sda", FakeSysfs::kSataDisk, 976773168, false);
        m_sysfs.AddScsiDisk("sdb", FakeSysfs::kUsbStick, kStickBytes / 512, true);
        m_sysfs.AddScsiDisk("sdc", FakeSysfs::kUsbSataDisk, 1953525168, false, 4096);
        fs::remove(m_sysfs.DevRoot() + "/sda");
        MakeUnopenable(m_sysfs.DevRoot() + "/sdb");
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

    // A block device node of a number no driver serves opens for nobody, root included; without
    // the right to make one, a node of no rights opens for nobody but root.
    static void MakeUnopenable(const std::string& node)
    {
        fs::remove(node);
        if (::mknod(node.c_str(), S_IFBLK | 0660, makedev(240, 77)) != 0)
            WriteText(node, "");
        ::chmod(node.c_str(), 0);
    }

    TempFolder m_temp;
    FakeSysfs m_sysfs;
};

// Letters here: C sda, D CD root, E stick.img, F disk.img (fixed), G sdb, H sdc.

// The listing as the start dialog, the room check and --list-drives take it.
TEST_F(DrivesTest, ListingGivesEveryLetterItsTypeBusAndWholeCylinders)
{
    auto drives = Sticks::System().ListDrives();
    auto find = [&drives](wchar_t letter) -> const DriveFacts& {
        static const DriveFacts none;
        for (const DriveFacts& drive : drives)
            if (drive.letter == letter)
                return drive;
        return none;
    };
    std::wstring letters;
    for (const DriveFacts& drive : drives)
        letters += drive.letter;
    EXPECT_EQ(letters, L"CDEFGH");

    EXPECT_EQ(find(L'D').type, DriveType::CdRom);
    EXPECT_FALSE(find(L'D').opened) << "the CD root is a folder";
    EXPECT_EQ(find(L'C').type, DriveType::Fixed);
    EXPECT_FALSE(find(L'C').opened) << "no device node";
    EXPECT_FALSE(find(L'H').opened) << "not a disk, and must not hang";
    EXPECT_TRUE(find(L'C').identity.empty()) << "only USB drives are bound by identity";

    const DriveFacts& stick = find(L'E');
    EXPECT_EQ(stick.type, DriveType::Removable);
    EXPECT_TRUE(stick.IsUsbDrive());
    EXPECT_FALSE(stick.identity.empty());
    EXPECT_EQ(stick.identity, GetDriveIdentity(L'E'));
    EXPECT_EQ(stick.geometry.cylinders, 243);
    EXPECT_EQ(stick.geometry.tracksPerCylinder, 255u);
    EXPECT_EQ(stick.geometry.sectorsPerTrack, 63u);
    EXPECT_EQ(stick.geometry.bytesPerSector, 512u);
    EXPECT_EQ(stick.name.location, FromUtf8(Path("stick.img")));

    const DriveFacts& fixedStick = find(L'F');
    EXPECT_EQ(fixedStick.type, DriveType::Fixed);
    EXPECT_TRUE(fixedStick.IsUsbDrive());
    EXPECT_EQ(fixedStick.geometry.cylinders, 0);

    // The stick is offered from the system's facts alone: the job asks for the rights to open it.
    const DriveFacts& usbDisk = find(L'G');
    EXPECT_FALSE(usbDisk.identity.empty());
    EXPECT_EQ(usbDisk.type, DriveType::Removable);
    EXPECT_EQ(usbDisk.bus, DriveBus::Usb);
    EXPECT_TRUE(usbDisk.IsUsbDrive());
    EXPECT_EQ(usbDisk.name.model, L"Vendor Model sdb");

    // Each listing looks afresh: a stick file that appears is a drive at once.
    WriteSizedFile(m_temp.Path() / "later.img", 4096);
    drives = Sticks::System().ListDrives();
    EXPECT_EQ(find(L'I').type, DriveType::Removable);

    int opened = ::open((m_sysfs.DevRoot() + "/sdb").c_str(), O_RDONLY | O_NONBLOCK);
    if (opened >= 0) {
        ::close(opened);
        GTEST_SKIP() << "root without the right to make device nodes: sdb's node opens, so G proves less";
    }
}

// What the writer names beside the letter: a disk by its vendor, model and node, a virtual
// stick by its file alone.
TEST_F(DrivesTest, DrivesAreNamedAsTheSystemKnowsThem)
{
    DriveName stick = NameDrive(L'G');
    EXPECT_EQ(stick.model, L"Vendor Model sdb");
    EXPECT_EQ(stick.location, FromUtf8(m_sysfs.DevRoot() + "/sdb"));
    EXPECT_TRUE(stick.label.empty());
    DriveName virtualStick = NameDrive(L'e');
    EXPECT_TRUE(virtualStick.model.empty());
    EXPECT_EQ(virtualStick.location, FromUtf8(Path("stick.img")));
    EXPECT_TRUE(NameDrive(L'Q').location.empty());
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
    auto arrived = DriveTable::Instance().Find('I');
    ASSERT_TRUE(arrived);
    EXPECT_EQ(arrived->type, DriveType::Removable);

    fs::remove(m_temp.Path() / "later.img");
    ASSERT_TRUE(log.WaitFor(kDeviceRemoveComplete, std::chrono::seconds(10)));
    EXPECT_FALSE(DriveTable::Instance().Find('I'));

    auto started = std::chrono::steady_clock::now();
    watcher.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(400));
}

TEST_F(DrivesTest, WatcherReportsAStickThatAListingSawFirst)
{
    EventLog log;
    auto watcher = WatchDeviceEvents([&](std::uint32_t event) { log.Add(event); });
    WriteSizedFile(m_temp.Path() / "later.img", 1 << 20);
    EXPECT_FALSE(GetDriveIdentity(L'I').empty());
    EXPECT_TRUE(log.WaitFor(kDeviceArrival, std::chrono::seconds(10)));
}

TEST(UeventTest, ParsesKernelMessagesOnly)
{
    const char message[] = "add@/devices/pci0000:00/usb1/1-1/1-1:1.0/host6/target6:0:0/6:0:0:0/block/sdb\0"
                           "ACTION=add\0DEVPATH=/devices/x/block/sdb\0SUBSYSTEM=block\0DEVNAME=sdb\0DEVTYPE=disk\0SEQNUM=4321";
    auto event = linux::Uevent::Parse(message, sizeof(message));
    ASSERT_TRUE(event);
    EXPECT_EQ(event->action, "add");
    EXPECT_EQ(event->Variable("DEVNAME"), "sdb");
    EXPECT_EQ(event->Variable("SEQNUM"), "4321");
    EXPECT_TRUE(event->IsWholeDisk());

    const char partition[] = "remove@/devices/x/block/sdb/sdb1\0ACTION=remove\0SUBSYSTEM=block\0DEVTYPE=partition";
    auto removed = linux::Uevent::Parse(partition, sizeof(partition) - 1);
    ASSERT_TRUE(removed);
    EXPECT_FALSE(removed->IsWholeDisk());

    const char udev[] = "libudev\0\xfe\xed\xca\xfe";
    EXPECT_FALSE(linux::Uevent::Parse(udev, sizeof(udev)));
    const char mismatch[] = "add@/devices/x\0ACTION=remove\0SUBSYSTEM=block";
    EXPECT_FALSE(linux::Uevent::Parse(mismatch, sizeof(mismatch)));
    EXPECT_FALSE(linux::Uevent::Parse("@", 1));
    EXPECT_FALSE(linux::Uevent::Parse(nullptr, 0));
    const char unterminated[] = { 'c', 'h', 'a', 'n', 'g', 'e', '@', '/', 'x', '\0', 'A', '=' };
    EXPECT_TRUE(linux::Uevent::Parse(unterminated, sizeof(unterminated)));
}

} // namespace
