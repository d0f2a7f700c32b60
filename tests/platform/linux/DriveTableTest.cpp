#include "FakeSysfs.h"

#include "platform/linux/DrivePathTranslator.h"
#include "platform/linux/DriveTable.h"
#include "platform/linux/SysfsBlockDevices.h"
#include "platform/linux/VirtualStickList.h"

#include <fstream>
#include <gtest/gtest.h>
#include <unistd.h>

using platform::DriveType;
using platform::linux::DriveInfo;
using platform::linux::DrivePathTranslator;
using platform::linux::DriveTable;
using platform::linux::SysfsBlockDevices;
using platform::linux::VirtualStickList;

namespace {

constexpr std::uint64_t kStickBytes = 2'000'000'000;

// A machine with every kind of disk. The whole tree lies below a folder named "usb1", so a
// USB test that looked at the absolute path instead of the device path would be fooled.
class DriveTableTest : public ::testing::Test {
protected:
    DriveTableTest()
        : m_root(m_temp.Path() / "usb1")
        , m_sysfs(m_root)
    {
        m_sysfs.AddScsiDisk("sda", FakeSysfs::kSataDisk, 976773168, false);
        m_sysfs.AddNvmeDisk("nvme0n1", 1000215216);
        m_sysfs.AddScsiDisk("sdb", FakeSysfs::kUsbStick, kStickBytes / 512, true);
        m_sysfs.AddScsiDisk("sdc", FakeSysfs::kUsbSataDisk, 1953525168, false, 4096);
        m_sysfs.AddScsiDisk("sdd", FakeSysfs::kCardReader, 31116288, true);
        m_sysfs.AddScsiDisk("sde", "pci0000:00/0000:00:14.0/usb1/1-4/1-4.2/1-4.2:1.0/host8/target8:0:0/8:0:0:1", 0, true);
        m_sysfs.AddDisk("loop0", "virtual/block/loop0", "virtual/block/loop0", 2048, false, 512);
        m_sysfs.AddDisk("zram0", "virtual/block/zram0", "virtual/block/zram0", 2048, false, 512);
        m_sysfs.AddDisk("dm-0", "virtual/block/dm-0", "virtual/block/dm-0", 2048, false, 512);
        m_sysfs.AddScsiDisk("sr0", "pci0000:00/0000:00:17.0/ata2/host1/target1:0:0/1:0:0:0", 2048, true);
        WriteText(CdRoot() / "ISOLINUX" / "vmlinuz", "kernel");
        WriteText(CdRoot() / "AUTORUN" / "arkeven", "");
    }

    fs::path CdRoot() const { return m_root / "cd"; }

    DriveTable::Options Options(const std::string& sticks = {}) const
    {
        DriveTable::Options options;
        options.sysfsRoot = m_sysfs.SysRoot();
        options.devRoot = m_sysfs.DevRoot();
        options.cdRoot = CdRoot().string();
        options.virtualSticks = sticks;
        options.mountInfoPath = (m_root / "mountinfo").string();
        return options;
    }

    static std::string LetterOf(const DriveTable& table, const std::string& sysName)
    {
        for (const DriveInfo& drive : table.Drives()) {
            if (drive.sysName == sysName)
                return std::string(1, drive.letter);
        }
        return "-";
    }

    static std::string Letters(const DriveTable& table)
    {
        std::string letters;
        for (const DriveInfo& drive : table.Drives())
            letters += drive.letter;
        return letters;
    }

    TempFolder m_temp;
    fs::path m_root;
    FakeSysfs m_sysfs;
};

TEST_F(DriveTableTest, ListsWholeDisksWithTheirBusTypeAndSize)
{
    DriveTable table(Options());
    EXPECT_EQ(Letters(table), "CDEFGH");
    EXPECT_EQ(LetterOf(table, "nvme0n1"), "C");
    EXPECT_EQ(LetterOf(table, "sda"), "E");

    auto stick = table.Find('F');
    ASSERT_TRUE(stick);
    EXPECT_EQ(stick->sysName, "sdb");
    EXPECT_EQ(stick->path, m_sysfs.DevRoot() + "/sdb");
    EXPECT_EQ(stick->type, DriveType::Removable);
    EXPECT_EQ(stick->busType, platform::DriveBus::Usb);
    EXPECT_EQ(stick->sizeBytes, kStickBytes);
    EXPECT_EQ(stick->logicalSectorSize, 512u);
    EXPECT_EQ(stick->vendor, "Vendor");
    EXPECT_EQ(stick->product, "Model sdb");

    auto usbDisk = table.Find('g');
    ASSERT_TRUE(usbDisk);
    EXPECT_EQ(usbDisk->type, DriveType::Fixed);
    EXPECT_EQ(usbDisk->busType, platform::DriveBus::Usb);
    EXPECT_EQ(usbDisk->logicalSectorSize, 4096u);
    EXPECT_EQ(usbDisk->sizeBytes, 1953525168ull * 512);

    EXPECT_EQ(table.Find('H')->busType, platform::DriveBus::Usb);
    EXPECT_EQ(table.Find('H')->type, DriveType::Removable);
    EXPECT_EQ(table.Find('E')->busType, platform::DriveBus::Sata);
    EXPECT_EQ(table.Find('E')->type, DriveType::Fixed);
    EXPECT_EQ(table.Find('C')->busType, platform::DriveBus::Nvme);

    auto cd = table.CdRoot();
    ASSERT_TRUE(cd);
    EXPECT_EQ(cd->letter, 'D');
    EXPECT_EQ(cd->type, DriveType::CdRom);
    EXPECT_EQ(cd->path, fs::canonical(CdRoot()).string());
}

TEST(SysfsBlockDevicesTest, BusTypeComesFromTheDevicePath)
{
    constexpr auto kBusTypeUnknown = platform::DriveBus::Other;
    EXPECT_EQ(SysfsBlockDevices::BusTypeFromDevicePath(std::string("/") + FakeSysfs::kUsbStick), platform::DriveBus::Usb);
    EXPECT_EQ(SysfsBlockDevices::BusTypeFromDevicePath("/pci0000:00/0000:00:14.0/usb3/3-2/3-2.1/3-2.1.4/3-2.1.4:1.0/host9"), platform::DriveBus::Usb);
    EXPECT_EQ(SysfsBlockDevices::BusTypeFromDevicePath(std::string("/") + FakeSysfs::kSataDisk), platform::DriveBus::Sata);
    EXPECT_EQ(SysfsBlockDevices::BusTypeFromDevicePath("/pci0000:00/0000:00:05.0/virtio2/host2/target2:0:0/2:0:0:0"), kBusTypeUnknown);
    EXPECT_EQ(SysfsBlockDevices::BusTypeFromDevicePath("/platform/usbhost/usb-ish/1-2"), kBusTypeUnknown);
    EXPECT_EQ(SysfsBlockDevices::BusTypeFromDevicePath(""), kBusTypeUnknown);
}

TEST_F(DriveTableTest, LettersStayWhileDevicesStay)
{
    DriveTable table(Options());
    EXPECT_TRUE(table.Rescan().Empty());

    m_sysfs.RemoveDisk("sdb");
    auto changes = table.Rescan();
    EXPECT_EQ(changes.removed, std::vector<char>({ 'F' }));
    EXPECT_TRUE(changes.arrived.empty());
    EXPECT_EQ(Letters(table), "CDEGH");
    EXPECT_EQ(LetterOf(table, "sdc"), "G");

    // A newcomer takes the lowest free letter; the others keep theirs.
    m_sysfs.AddScsiDisk("sdf", "pci0000:00/0000:00:14.0/usb1/1-2/1-2:1.0/host9/target9:0:0/9:0:0:0", 4096, true);
    m_sysfs.AddScsiDisk("sdg", "pci0000:00/0000:00:14.0/usb1/1-3/1-3:1.0/host10/target10:0:0/10:0:0:0", 4096, true);
    changes = table.Rescan();
    EXPECT_EQ(changes.arrived, std::vector<char>({ 'F', 'I' }));
    EXPECT_EQ(LetterOf(table, "sdf"), "F");
    EXPECT_EQ(LetterOf(table, "sdg"), "I");
    EXPECT_EQ(LetterOf(table, "sda"), "E");

    // A card taken out of its reader leaves an empty slot: size 0, no drive.
    WriteText(fs::canonical(fs::path(m_sysfs.SysRoot()) / "block" / "sdd") / "size", "0\n");
    EXPECT_EQ(table.Rescan().removed, std::vector<char>({ 'H' }));
}

TEST_F(DriveTableTest, VirtualSticksTakeLettersFromEInTheirOrder)
{
    WriteSizedFile(m_root / "a.img", kStickBytes);
    WriteSizedFile(m_root / "b.img", 64 << 20);
    WriteSizedFile(m_root / "c.img", 1 << 20);
    std::string sticks = (m_root / "a.img").string() + "," + (m_root / "b.img").string() + ":fixed, "
        + (m_root / "missing.img").string() + "," + (m_root / "c.img").string() + ":removable,,";
    DriveTable table(Options(sticks));

    EXPECT_EQ(Letters(table), "CDEFGHIJK");
    auto a = table.Find('E');
    ASSERT_TRUE(a);
    EXPECT_EQ(a->kind, DriveInfo::Kind::VirtualStick);
    EXPECT_EQ(a->path, (m_root / "a.img").string());
    EXPECT_EQ(a->sizeBytes, kStickBytes);
    EXPECT_EQ(a->type, DriveType::Removable);
    EXPECT_EQ(a->busType, platform::DriveBus::Usb);
    EXPECT_EQ(table.Find('F')->type, DriveType::Fixed);
    EXPECT_EQ(table.Find('F')->sizeBytes, 64u << 20);
    EXPECT_EQ(table.Find('G')->path, (m_root / "c.img").string());
    EXPECT_EQ(LetterOf(table, "nvme0n1"), "C");
    EXPECT_EQ(LetterOf(table, "sda"), "H");
    EXPECT_EQ(table.VirtualStickFilesPresent(), std::vector<bool>({ true, true, false, true }));

    // A stick whose file goes vanishes, and is back when the file is.
    fs::remove(m_root / "a.img");
    EXPECT_EQ(table.Rescan().removed, std::vector<char>({ 'E' }));
    EXPECT_FALSE(table.Find('E'));
    WriteSizedFile(m_root / "missing.img", 4 << 20);
    WriteSizedFile(m_root / "a.img", 8 << 20);
    auto changes = table.Rescan();
    EXPECT_EQ(changes.arrived, std::vector<char>({ 'E', 'L' }));
    EXPECT_EQ(table.Find('E')->path, (m_root / "a.img").string());
    EXPECT_EQ(table.Find('E')->sizeBytes, 8u << 20);
    EXPECT_EQ(table.Find('L')->path, (m_root / "missing.img").string());
}

// A card reader: no card, no drive; a card arrives with its medium's size and lock switch.
TEST_F(DriveTableTest, AnEmptyReaderIsLeftOutAndACardArrivesWithItsLockSwitch)
{
    WriteSizedFile(m_root / "reader.img", 0);
    DriveTable table(Options((m_root / "reader.img").string()));
    EXPECT_EQ(Letters(table), "CDEFGH") << "the 0-byte virtual stick and the empty slot sde are not offered";
    EXPECT_EQ(table.VirtualStickFilesPresent(), std::vector<bool>({ false }));
    EXPECT_FALSE(table.Find('H')->readOnly);

    m_sysfs.SetDiskFile("sde", "size", "15523840");
    m_sysfs.SetDiskFile("sde", "ro", "1");
    fs::resize_file(m_root / "reader.img", 8 << 20);
    EXPECT_EQ(table.VirtualStickFilesPresent(), std::vector<bool>({ true }));
    EXPECT_EQ(table.Rescan().arrived, std::vector<char>({ 'I', 'J' }));
    EXPECT_EQ(table.Find('I')->path, (m_root / "reader.img").string());
    EXPECT_FALSE(table.Find('I')->readOnly);
    auto card = table.Find('J');
    ASSERT_TRUE(card);
    EXPECT_EQ(card->sysName, "sde");
    EXPECT_TRUE(card->readOnly) << "the lock switch is the kernel's read-only flag";
}

// Elevated through pkexec, root would otherwise write whatever file the caller names.
TEST_F(DriveTableTest, ElevatedOnlyTheUsersOwnRegularFilesAreOffered)
{
    WriteSizedFile(m_root / "own.img", 64 << 20);
    fs::create_symlink(m_root / "own.img", m_root / "link.img");
    std::string sticks = (m_root / "own.img").string() + "," + (m_root / "link.img").string();
    auto options = Options(sticks);

    auto offered = [](const DriveTable::Options& options) {
        std::vector<std::string> paths;
        for (const DriveInfo& drive : DriveTable(options).Drives()) {
            if (drive.kind == DriveInfo::Kind::VirtualStick)
                paths.push_back(drive.path);
        }
        return paths;
    };
    std::vector<std::string> own { (m_root / "own.img").string() };

    options.elevatedFor = ::getuid();
    EXPECT_EQ(offered(options), own) << "a link is not the user's file";
    options.elevatedFor = ::getuid() + 1;
    EXPECT_TRUE(offered(options).empty()) << "another user's file is not offered";
    options.elevatedFor.reset();
    EXPECT_EQ(offered(options).size(), 2u);
}

TEST_F(DriveTableTest, AnIdentityNeverStandsForAnotherDeviceUnderTheSameLetter)
{
    WriteSizedFile(m_root / "a.img", 8 << 20);
    DriveTable table(Options((m_root / "a.img").string()));
    char sdb = LetterOf(table, "sdb")[0];
    std::string stick = table.Find('E')->identity;
    std::string disk = table.Find(sdb)->identity;
    EXPECT_FALSE(stick.empty());
    EXPECT_FALSE(disk.empty());
    table.Rescan();
    EXPECT_EQ(table.Find('E')->identity, stick) << "a device keeps its identity";
    EXPECT_EQ(table.Find(sdb)->identity, disk);

    // Another image file under the same name, while the first is still open (as a job keeps it).
    std::ifstream held(m_root / "a.img");
    fs::remove(m_root / "a.img");
    WriteSizedFile(m_root / "a.img", 8 << 20);
    table.Rescan();
    EXPECT_NE(table.Find('E')->identity, stick);

    // Another stick under the same kernel name and letter: a new disk sequence number, or where
    // the kernel gives none, another size.
    m_sysfs.RemoveDisk("sdb");
    m_sysfs.AddScsiDisk("sdb", FakeSysfs::kUsbStick, kStickBytes / 512 + 8, true);
    table.Rescan();
    ASSERT_EQ(LetterOf(table, "sdb")[0], sdb);
    EXPECT_NE(table.Find(sdb)->identity, disk);
    WriteText(fs::canonical(fs::path(m_sysfs.SysRoot()) / "block" / "sdb") / "diskseq", "41\n");
    table.Rescan();
    EXPECT_EQ(table.Find(sdb)->identity, "diskseq:41");
}

TEST(VirtualStickListTest, ParsesSuffixesAndResolvesRelativeFiles)
{
    auto sticks = VirtualStickList::Parse(" one.img , /abs/two.img:fixed,x:y.img,three.img:removable,one.img,:fixed", "/base");
    ASSERT_EQ(sticks.size(), 4u);
    EXPECT_EQ(sticks[0].path, "/base/one.img");
    EXPECT_FALSE(sticks[0].fixed);
    EXPECT_EQ(sticks[1].path, "/abs/two.img");
    EXPECT_TRUE(sticks[1].fixed);
    EXPECT_EQ(sticks[2].path, "/base/x:y.img");
    EXPECT_EQ(sticks[3].path, "/base/three.img");
    EXPECT_FALSE(sticks[3].fixed);
    EXPECT_TRUE(VirtualStickList::Parse("", "/base").empty());
}

TEST_F(DriveTableTest, TheDiskHoldingTheCdRootHasNoLetter)
{
    struct stat info {};
    ASSERT_EQ(::stat(CdRoot().c_str(), &info), 0);
    m_sysfs.AddScsiDisk("sdx", "pci0000:00/0000:00:14.0/usb1/1-5/1-5:1.0/host11/target11:0:0/11:0:0:0", 8192, true);
    m_sysfs.AddPartition("sdx", "sdx1");
    m_sysfs.MapDeviceNumber(info.st_dev, "sdx", "sdx1");

    DriveTable table(Options());
    EXPECT_EQ(LetterOf(table, "sdx"), "-");
    EXPECT_EQ(LetterOf(table, "sdb"), "F");
}

TEST_F(DriveTableTest, DisksUnderADeviceMapperCdRootHaveNoLetter)
{
    struct stat info {};
    ASSERT_EQ(::stat(CdRoot().c_str(), &info), 0);
    m_sysfs.AddPartition("sdc", "sdc2");
    m_sysfs.AddSlave("dm-0", "sdc", "sdc2");
    m_sysfs.MapDeviceNumber(info.st_dev, "dm-0");

    DriveTable table(Options());
    EXPECT_EQ(LetterOf(table, "sdc"), "-");
    EXPECT_EQ(Letters(table), "CDEFG");
}

TEST_F(DriveTableTest, MountSourceNamesTheCdRootDiskWhenTheDeviceNumberDoesNot)
{
    // As on btrfs: the folder's device number has no sysfs entry, the mount's source has.
    fs::path node = m_root / "sdb-node";
    if (::mknod(node.c_str(), S_IFBLK | 0600, makedev(8, 16)) != 0)
        GTEST_SKIP() << "cannot create a device node here";
    m_sysfs.MapDeviceNumber(makedev(8, 16), "sdb");
    WriteText(m_root / "mountinfo",
        "27 1 254:0 / / rw,relatime - ext4 /dev/vda rw\n"
        "40 27 0:45 / " + fs::canonical(m_root).string() + " rw,relatime - btrfs " + node.string() + " rw\n");

    DriveTable table(Options());
    EXPECT_EQ(LetterOf(table, "sdb"), "-");
    EXPECT_EQ(LetterOf(table, "sdc"), "F");
}

TEST_F(DriveTableTest, DrivePathsOfTheCdRootBecomeNativePaths)
{
    WriteText(CdRoot() / "Docs" / "README", "");
    WriteText(CdRoot() / "Docs" / "Readme", "");
    WriteSizedFile(m_root / "stick.img", 1 << 20);
    DriveTable table(Options((m_root / "stick.img").string()));
    DrivePathTranslator paths(table);
    std::string cd = fs::canonical(CdRoot()).string();

    EXPECT_EQ(paths.ToNativePath(L"D:\\ISOLINUX\\vmlinuz"), cd + "/ISOLINUX/vmlinuz");
    EXPECT_EQ(paths.ToNativePath(L"d:\\isolinux\\VMLINUZ"), cd + "/ISOLINUX/vmlinuz");
    EXPECT_EQ(paths.ToNativePath(L"\\\\?\\D:/Isolinux/vmlinuz"), cd + "/ISOLINUX/vmlinuz");
    EXPECT_EQ(paths.ToNativePath(L"D:\\docs\\readme"), cd + "/Docs/README");
    EXPECT_EQ(paths.ToNativePath(L"D:\\Docs\\Readme"), cd + "/Docs/Readme");
    EXPECT_EQ(paths.ToNativePath(L"D:\\isolinux\\new.cfg"), cd + "/ISOLINUX/new.cfg");
    EXPECT_EQ(paths.ToNativePath(L"D:\\nothing\\Here"), cd + "/nothing/Here");
    EXPECT_EQ(paths.ToNativePath(L"D:\\..\\..\\etc\\.\\passwd"), cd + "/etc/passwd");
    EXPECT_EQ(paths.ToNativePath(L"D:\\"), cd);
    EXPECT_EQ(paths.ToNativePath(L"D:"), cd);

    EXPECT_EQ(paths.ToNativePath(L"E:\\vmlinuz"), "");
    EXPECT_EQ(paths.ToNativePath(L"C:\\"), "");
    EXPECT_EQ(paths.ToNativePath(L"Q:\\anything"), "");
    EXPECT_EQ(paths.ToNativePath(L"/tmp/x"), "/tmp/x");
    EXPECT_EQ(paths.ToNativePath(L"relative\\name"), "relative\\name");
    EXPECT_EQ(paths.ToNativePath(L"\u00dcber.txt"), "\xc3\x9c" "ber.txt");
}

TEST_F(DriveTableTest, NativePathsUnderTheCdRootBecomeDrivePaths)
{
    DriveTable table(Options());
    DrivePathTranslator paths(table);
    std::string cd = fs::canonical(CdRoot()).string();
    fs::create_directory_symlink(CdRoot() / "AUTORUN", m_root / "link");
    fs::create_directories(m_root / "cd2");

    EXPECT_EQ(paths.ToDrivePath(cd + "/AUTORUN/arkeven"), L"D:\\AUTORUN\\arkeven");
    EXPECT_EQ(paths.ToDrivePath(cd), L"D:\\");
    EXPECT_EQ(paths.ToDrivePath(cd + "/"), L"D:\\");
    EXPECT_EQ(paths.ToDrivePath((m_root / "link" / "arkeven").string()), L"D:\\AUTORUN\\arkeven");
    EXPECT_EQ(paths.ToDrivePath((m_root / "cd2").string()), fs::path(m_root / "cd2").wstring());
    EXPECT_EQ(paths.ToDrivePath("/etc/passwd"), L"/etc/passwd");
    EXPECT_EQ(paths.ToDrivePath(cd + "/\xc3\x9c" "ber"), L"D:\\\u00dcber");
    EXPECT_EQ(paths.ToNativePath(paths.ToDrivePath(cd + "/ISOLINUX/vmlinuz")), cd + "/ISOLINUX/vmlinuz");
}

TEST(DriveTableDefaults, CdRootIsTheFolderAboveTheExecutablesFolder)
{
    ::unsetenv("ARKEVEN_CD_ROOT");
    ::setenv("ARKEVEN_VIRTUAL_STICKS", "one.img:fixed", 1);
    auto options = DriveTable::DefaultOptions();
    EXPECT_EQ(fs::canonical(options.cdRoot), fs::canonical(fs::read_symlink("/proc/self/exe").parent_path().parent_path()));
    EXPECT_EQ(options.virtualSticks, "one.img:fixed");
    EXPECT_EQ(options.sysfsRoot, "/sys");

    ::setenv("ARKEVEN_CD_ROOT", "/some/cd", 1);
    EXPECT_EQ(DriveTable::DefaultOptions().cdRoot, "/some/cd");
    ::unsetenv("ARKEVEN_CD_ROOT");
    ::unsetenv("ARKEVEN_VIRTUAL_STICKS");
}

} // namespace
