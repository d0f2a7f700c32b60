#include "../support/ProgramTestSupport.h"

#include "recovery/CZAppDlg.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <ostream>
#include <vector>

namespace {

std::string AppSection(const std::string& name, int entries)
{
    std::string section = "[" + name + "]\n";
    for (int k = 1; k <= entries; ++k)
        section += "App" + std::to_string(k) + "=Entry " + std::to_string(k) + "\n";
    return section;
}

// What one page of the dialog shows.
struct Page {
    std::vector<UINT> entryButtons; // shown among 1021..1050
    bool previousShown = false;
    bool previousEnabled = false;
    bool nextShown = false;
    bool nextEnabled = false;
    std::vector<UINT> indicators; // shown among 1122..1127

    bool operator==(const Page& other) const
    {
        return entryButtons == other.entryButtons && previousShown == other.previousShown
            && previousEnabled == other.previousEnabled && nextShown == other.nextShown
            && nextEnabled == other.nextEnabled && indicators == other.indicators;
    }
};

std::ostream& operator<<(std::ostream& out, const Page& page)
{
    out << "entries";
    for (UINT id : page.entryButtons)
        out << " " << id;
    out << "; previous " << (page.previousShown ? "shown" : "hidden") << (page.previousEnabled ? " enabled" : " disabled");
    out << "; next " << (page.nextShown ? "shown" : "hidden") << (page.nextEnabled ? " enabled" : " disabled");
    out << "; indicators";
    for (UINT id : page.indicators)
        out << " " << id;
    return out;
}

std::vector<UINT> Range(UINT first, UINT last)
{
    std::vector<UINT> ids;
    for (UINT id = first; id <= last; ++id)
        ids.push_back(id);
    return ids;
}

Page ReadPage(CWinApp& app, CZAppDlg& dialog)
{
    Page page;
    app.RunOnUiThread([&] {
        for (UINT id = 1021; id <= 1050; ++id) {
            if (dialog.FindButton(id) && dialog.FindButton(id)->IsShownFlag())
                page.entryButtons.push_back(id);
        }
        page.previousShown = dialog.FindButton(1004)->IsShownFlag();
        page.previousEnabled = dialog.FindButton(1004)->IsWindowEnabled();
        page.nextShown = dialog.FindButton(1005)->IsShownFlag();
        page.nextEnabled = dialog.FindButton(1005)->IsWindowEnabled();
        for (UINT id = 1122; id <= 1127; ++id) {
            if (dialog.FindStatic(id) && dialog.FindStatic(id)->IsShownFlag())
                page.indicators.push_back(id);
        }
    });
    return page;
}

int CurrentPage(CWinApp& app, CZAppDlg& dialog)
{
    int page = -1;
    app.RunOnUiThread([&] { page = dialog.CurrentPage(); });
    return page;
}

int AppCount(CWinApp& app, CZAppDlg& dialog)
{
    int count = -1;
    app.RunOnUiThread([&] { count = dialog.AppCount(); });
    return count;
}

class StartDialog : public ::testing::Test {
protected:
    void SetUp() override
    {
        UseDemoSkinAndTexts();
        m_machine.Sysfs().AddScsiDisk("sda", FakeSysfs::kSataDisk, 976773168, false);
        m_machine.Sysfs().AddScsiDisk("sdb", FakeSysfs::kUsbStick, 2'000'000'000 / 512, true);
        m_machine.Apply();
    }

    FakeMachine m_machine;
    ProgramFolder m_folder;
};

TEST_F(StartDialog, EntryButtonsAndPagesFollowTheNumberOfAppEntries)
{
    for (int entries : { 0, 1, 2, 16, 17, 30 }) {
        SCOPED_TRACE(std::to_string(entries) + " entries");
        m_folder.WriteIndex(AppSection("__App", entries));
        ProgramTestApp app;
        CZAppDlg dialog(nullptr);
        int result = app.RunModal(dialog, [&] {
            ASSERT_TRUE(WaitUntil([&] { return app.IsShown("AppFrm"); }));
            EXPECT_EQ(AppCount(app, dialog), entries);

            Page first = ReadPage(app, dialog);
            Page expected;
            expected.entryButtons = entries ? Range(1021, 1021 + static_cast<UINT>(std::min(entries, 16)) - 1) : std::vector<UINT>();
            if (entries > 16) {
                expected.previousShown = expected.nextShown = expected.nextEnabled = true;
                expected.indicators = { 1123 };
            } else {
                expected.previousEnabled = first.previousEnabled; // hidden: not looked at
                expected.nextEnabled = first.nextEnabled;
            }
            EXPECT_EQ(first, expected);

            if (entries > 16) {
                ASSERT_TRUE(ClickButton(app, "AppFrm", dialog, 1005));
                ASSERT_TRUE(WaitUntil([&] { return CurrentPage(app, dialog) == 1; }));
                Page second;
                second.entryButtons = Range(1037, 1021 + static_cast<UINT>(entries) - 1);
                second.previousShown = second.previousEnabled = second.nextShown = true;
                second.indicators = { 1124 };
                EXPECT_EQ(ReadPage(app, dialog), second);

                ASSERT_TRUE(ClickButton(app, "AppFrm", dialog, 1004));
                ASSERT_TRUE(WaitUntil([&] { return CurrentPage(app, dialog) == 0; }));
                EXPECT_EQ(ReadPage(app, dialog), first);
            }
            ClickButton(app, "AppFrm", dialog, 1001);
        });
        EXPECT_EQ(result, IDCANCEL);
    }
}

TEST_F(StartDialog, OnlyAppKeysWithAValueCountAndAGapDoesNotEndTheReading)
{
    struct Case {
        const char* section;
        int count;
    };
    for (Case file : { Case { "[__App]\nApp1=One\nApp3=Three\n", 2 }, Case { "[__App]\nApp1=One\nApp2=\nApp3=\"\"\n", 1 },
             Case { "[__App]\nApp30=Last\n", 1 } }) {
        SCOPED_TRACE(file.section);
        m_folder.WriteIndex(file.section);
        ProgramTestApp app;
        CZAppDlg dialog(nullptr);
        app.RunModal(dialog, [&] {
            ASSERT_TRUE(WaitUntil([&] { return app.IsShown("AppFrm"); }));
            EXPECT_EQ(AppCount(app, dialog), file.count);
            EXPECT_EQ(ReadPage(app, dialog).entryButtons, Range(1021, 1021 + static_cast<UINT>(file.count) - 1));
            app.Headless().PressKey("AppFrm", VK_ESCAPE);
        });
    }
}

TEST_F(StartDialog, AModelWithoutTokenLeavesItsPartOfTheSectionNameEmpty)
{
    m_folder.WriteIndex("[Global]\nWin11=W\n" + AppSection("__App", 1) + AppSection("_W_App", 3) + AppSection("_W_", 5));
    SetGlobal(g_szModel, L"NoSuchModel");
    SetGlobal(g_szOS, L"Win11");
    ProgramTestApp app;
    CZAppDlg dialog(nullptr);
    app.RunModal(dialog, [&] {
        ASSERT_TRUE(WaitUntil([&] { return app.IsShown("AppFrm"); }));
        EXPECT_EQ(AppCount(app, dialog), 3);
        app.Headless().PressKey("AppFrm", VK_ESCAPE);
    });
}

TEST_F(StartDialog, StaticsAndButtonFacesCarryTheirTexts)
{
    m_folder.WriteIndex(AppSection("__App", 2));
    ProgramTestApp app;
    CZAppDlg dialog(nullptr);
    app.RunModal(dialog, [&] {
        ASSERT_TRUE(WaitUntil([&] { return app.IsShown("AppFrm"); }));
        EXPECT_EQ(ReadStatic(app, dialog, 10003).staticText, LibraryText(20));
        EXPECT_EQ(ReadStatic(app, dialog, 10008).staticText, LibraryText(15));
        EXPECT_EQ(ReadStatic(app, dialog, 10009).staticText, LibraryText(16));
        EXPECT_EQ(ReadStatic(app, dialog, 10010).staticText, LibraryText(17));
        EXPECT_EQ(ReadButton(app, dialog, 1021).faceText, LibraryText(9));
        EXPECT_EQ(ReadButton(app, dialog, 1022).faceText, LibraryText(8));
        EXPECT_EQ(ReadButton(app, dialog, 1001).caption, LibraryText(2));
        EXPECT_EQ(ReadButton(app, dialog, 1004).caption, LibraryText(4));
        EXPECT_EQ(ReadButton(app, dialog, 1005).caption, LibraryText(5));
        app.Headless().PressKey("AppFrm", VK_ESCAPE);
    });
}

TEST_F(StartDialog, EveryWayOfClosingShowsTheLauncherAgain)
{
    m_folder.WriteIndex(AppSection("__App", 2));
    ProgramTestApp app;
    CMainFrame* launcher = OpenLauncher(app);
    ASSERT_NE(launcher, nullptr);

    struct Way {
        const char* name;
        std::function<void(CZAppDlg&)> close;
    };
    std::vector<Way> ways {
        { "button 1001", [&](CZAppDlg& dialog) { ClickButton(app, "AppFrm", dialog, 1001); } },
        { "entry button 1022", [&](CZAppDlg& dialog) { ClickButton(app, "AppFrm", dialog, 1022); } },
        { "Escape", [&](CZAppDlg&) { app.Headless().PressKey("AppFrm", VK_ESCAPE); } },
    };
    for (const Way& way : ways) {
        SCOPED_TRACE(way.name);
        launcher->fnShowWindow(SW_HIDE);
        {
            CZAppDlg dialog(launcher);
            int result = app.RunModal(dialog, [&] {
                ASSERT_TRUE(WaitUntil([&] { return app.IsShown("AppFrm"); }));
                way.close(dialog);
            });
            EXPECT_EQ(result, IDCANCEL);
            EXPECT_FALSE(launcher->IsShownFlag());
        }
        EXPECT_TRUE(launcher->IsShownFlag());
        EXPECT_TRUE(app.IsShown("MainFrm"));
    }
}

TEST_F(StartDialog, AFailedLayoutEndsWithMinusOneAndStillShowsTheLauncher)
{
    TempFolder skin;
    MakeSkinWithout("AppFrm", skin.Path() / "skin");
    CzCanvas::SetSkinFolder((skin.Path() / "skin").wstring());
    m_folder.WriteIndex(AppSection("__App", 2));
    ProgramTestApp app;
    CMainFrame* launcher = OpenLauncher(app);
    ASSERT_NE(launcher, nullptr);
    launcher->fnShowWindow(SW_HIDE);
    {
        CZAppDlg dialog(launcher);
        EXPECT_EQ(dialog.DoModal(), -1);
        EXPECT_EQ(dialog.DriveList(), nullptr);
    }
    EXPECT_TRUE(launcher->IsShownFlag());
    EXPECT_FALSE(app.EverCreated("AppFrm"));
}

} // namespace
