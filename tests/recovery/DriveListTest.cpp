#include "../support/ProgramTestSupport.h"

#include "recovery/CZAppDlg.h"
#include "uilib/CzDropList.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace {

// The start dialog with its listing open to the test, to list a second time without emptying.
class ListingAppDlg : public CZAppDlg {
public:
    using CZAppDlg::CZAppDlg;
    using CZAppDlg::ListUsbDrives;
};

struct DriveList {
    std::vector<std::wstring> items;
    int selection = -1;
    bool startEnabled = false;
};

DriveList ReadDriveList(CWinApp& app, CZAppDlg& dialog)
{
    DriveList list;
    app.RunOnUiThread([&] {
        if (auto* dropList = dynamic_cast<CzDropList*>(dialog.DriveList())) {
            list.items = dropList->Items();
            list.selection = dropList->Selection();
        }
        if (CzButton* start = dialog.FindButton(1021))
            list.startEnabled = start->IsWindowEnabled();
    });
    return list;
}

constexpr std::uint64_t kStickSectors = 2'000'000'000 / 512; // 243 whole cylinders: 1906 MBytes
constexpr std::uint64_t kUsbDiskSectors = 1953525168;        // 121601 cylinders: 953867 MBytes
constexpr const char* kUsbDiskItemC = "C (953867 MBytes)";

std::vector<std::wstring> Items(std::initializer_list<const char*> texts)
{
    std::vector<std::wstring> items;
    for (const char* text : texts)
        items.push_back(fs::path(text).wstring());
    return items;
}

class DriveListing : public ::testing::Test {
protected:
    void SetUp() override { UseDemoSkinAndTexts(); }

    // Opens the start dialog on the machine as set up, reads the list, and closes it again.
    DriveList OpenAndRead(const std::function<void(ProgramTestApp&, ListingAppDlg&)>& whileOpen = {})
    {
        ProgramTestApp app;
        ListingAppDlg dialog(nullptr);
        DriveList list;
        app.RunModal(dialog, [&] {
            if (!WaitUntil([&] { return app.IsShown("AppFrm"); })) {
                ADD_FAILURE() << "the start dialog did not open";
                return;
            }
            if (whileOpen)
                whileOpen(app, dialog);
            list = ReadDriveList(app, dialog);
            app.Headless().PressKey("AppFrm", VK_ESCAPE);
        });
        return list;
    }

    FakeSysfs& Sysfs() { return m_machine.Sysfs(); }

    FakeMachine m_machine;
    ProgramFolder m_folder { "[__App]\nApp1=Stick\nApp2=Close\n" };
};

TEST_F(DriveListing, AUsbStickIsListedWithItsWholeCylindersAndSelected)
{
    Sysfs().AddScsiDisk("sda", FakeSysfs::kSataDisk, 976773168, false); // C: internal, never listed
    Sysfs().AddScsiDisk("sdb", FakeSysfs::kUsbStick, kStickSectors, true); // E:
    m_machine.Apply();
    DriveList list = OpenAndRead();
    EXPECT_EQ(list.items, Items({ "E (1906 MBytes)" }));
    EXPECT_EQ(list.selection, 0);
    EXPECT_TRUE(list.startEnabled);
}

TEST_F(DriveListing, AFixedUsbDiskIsListedButNotSelected)
{
    Sysfs().AddScsiDisk("sda", FakeSysfs::kUsbSataDisk, kUsbDiskSectors, false);
    m_machine.Apply();
    DriveList list = OpenAndRead();
    EXPECT_EQ(list.items, Items({ kUsbDiskItemC }));
    EXPECT_EQ(list.selection, -1);
    EXPECT_TRUE(list.startEnabled);
}

TEST_F(DriveListing, NoUsbDriveLeavesTheListEmptyAndStartDisabled)
{
    Sysfs().AddScsiDisk("sda", FakeSysfs::kSataDisk, 976773168, false);
    Sysfs().AddNvmeDisk("nvme0n1", 1000215216);
    m_machine.Apply();
    DriveList list = OpenAndRead();
    EXPECT_TRUE(list.items.empty());
    EXPECT_EQ(list.selection, -1);
    EXPECT_FALSE(list.startEnabled);
}

TEST_F(DriveListing, ARemovableDriveOnAnotherBusSelectsTheFirstItemOnlyWhenOneIsListed)
{
    const char* removableSata = "pci0000:00/0000:00:17.0/ata2/host1/target1:0:0/1:0:0:0";
    {
        SCOPED_TRACE("after a listed drive");
        FakeMachine machine;
        machine.Sysfs().AddScsiDisk("sda", FakeSysfs::kUsbSataDisk, kUsbDiskSectors, false); // C: listed
        machine.Sysfs().AddScsiDisk("sdb", removableSata, kStickSectors, true);              // E: not listed
        machine.Apply();
        DriveList list = OpenAndRead();
        EXPECT_EQ(list.items, Items({ kUsbDiskItemC }));
        EXPECT_EQ(list.selection, 0);
    }
    {
        SCOPED_TRACE("before every listed drive");
        FakeMachine machine;
        machine.Sysfs().AddScsiDisk("sda", removableSata, kStickSectors, true);              // C: not listed
        machine.Sysfs().AddScsiDisk("sdb", FakeSysfs::kUsbSataDisk, kUsbDiskSectors, false); // E: listed
        machine.Apply();
        DriveList list = OpenAndRead();
        EXPECT_EQ(list.items, Items({ "E (953867 MBytes)" }));
        EXPECT_EQ(list.selection, -1);
    }
}

TEST_F(DriveListing, ADriveBelowOneCylinderIsListedWithZeroMegabytes)
{
    Sysfs().AddScsiDisk("sda", FakeSysfs::kUsbStick, 1000, true);
    m_machine.Apply();
    DriveList list = OpenAndRead();
    EXPECT_EQ(list.items, Items({ "C (0 MBytes)" }));
    EXPECT_EQ(list.selection, 0);
}

TEST_F(DriveListing, ListingTwiceWithoutEmptyingListsEveryDriveTwice)
{
    Sysfs().AddScsiDisk("sda", FakeSysfs::kUsbSataDisk, kUsbDiskSectors, false);
    Sysfs().AddScsiDisk("sdb", FakeSysfs::kUsbStick, kStickSectors, true);
    m_machine.Apply();
    DriveList list = OpenAndRead([](ProgramTestApp& app, ListingAppDlg& dialog) {
        app.RunOnUiThread([&] { dialog.ListUsbDrives(); });
    });
    EXPECT_EQ(list.items, Items({ kUsbDiskItemC, "E (1906 MBytes)", kUsbDiskItemC, "E (1906 MBytes)" }));
    EXPECT_EQ(list.selection, 0);
}

TEST_F(DriveListing, ADriveThatCannotBeOpenedIsLeftOutWithoutTouchingTheSelection)
{
    Sysfs().AddScsiDisk("sda", FakeSysfs::kUsbSataDisk, kUsbDiskSectors, false); // C: listed
    Sysfs().AddScsiDisk("sdb", FakeSysfs::kUsbStick, kStickSectors, true);       // E: no device node
    fs::remove(fs::path(Sysfs().DevRoot()) / "sdb");
    m_machine.Apply();
    DriveList list = OpenAndRead();
    EXPECT_EQ(list.items, Items({ kUsbDiskItemC }));
    EXPECT_EQ(list.selection, -1);
}

TEST_F(DriveListing, TheDriveTheProgramRunsFromIsNeverOffered)
{
    WriteSizedFile(m_machine.StickPath("own.img"), 2'000'000'000);   // E:
    WriteSizedFile(m_machine.StickPath("other.img"), 2'000'000'000); // F:
    m_machine.Apply(m_machine.StickPath("own.img").string() + "," + m_machine.StickPath("other.img").string());
    SetGlobal(g_szAppDir, L"E:\\AUTORUN\\");
    DriveList list = OpenAndRead();
    EXPECT_EQ(list.items, Items({ "F (1906 MBytes)" }));
    EXPECT_EQ(list.selection, 0);
}

TEST_F(DriveListing, ArrivalAndRemovalRebuildTheListAndTheStartButtonFollows)
{
    fs::path stick = m_machine.StickPath("stick.img");
    m_machine.Apply(stick.string());
    ProgramTestApp app;
    app.StartDeviceNotifications();
    ListingAppDlg dialog(nullptr);
    app.RunModal(dialog, [&] {
        ASSERT_TRUE(WaitUntil([&] { return app.IsShown("AppFrm"); }));
        DriveList before = ReadDriveList(app, dialog);
        EXPECT_TRUE(before.items.empty());
        EXPECT_FALSE(before.startEnabled);

        // The stick appears whole: written aside, then renamed into place.
        WriteSizedFile(stick.string() + ".part", 2'000'000'000);
        fs::rename(stick.string() + ".part", stick);
        EXPECT_TRUE(WaitUntil([&] {
            DriveList list = ReadDriveList(app, dialog);
            return list.items == Items({ "E (1906 MBytes)" }) && list.selection == 0 && list.startEnabled;
        }));

        fs::remove(stick);
        EXPECT_TRUE(WaitUntil([&] {
            DriveList list = ReadDriveList(app, dialog);
            return list.items.empty() && list.selection == -1 && !list.startEnabled;
        }));
        app.Headless().PressKey("AppFrm", VK_ESCAPE);
    });
}

} // namespace
