#include "../support/ProgramTestSupport.h"

#include "app/CMainFrame.h"
#include "app/MakeStickCommand.h"
#include "shared/CUITxtCtrl.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>

namespace {

const char* const kSelectionIndex = "[Model]\n"
                                    "Model1=\"Varn MID M10\" \"M10\"\n"
                                    "[OS]\n"
                                    "OS1=\"Linux\" \"Linux\"\n";

class Launcher : public ::testing::Test {
protected:
    void SetUp() override { UseDemoSkinAndTexts(); }
    void TearDown() override { CWnd::SetMessageSpy({}); }

    ProgramFolder m_folder { kSelectionIndex };
};

platform::ShowState LauncherState(ProgramTestApp& app)
{
    auto state = app.Headless().Find("MainFrm");
    return state ? state->state : platform::ShowState::Hidden;
}

TEST_F(Launcher, ItalianItalyShowsTheItalianButtonsAndEveryOtherLanguageTheRest)
{
    struct Case {
        const char* locale;
        bool italianButtons;
    };
    for (Case language : { Case { "it_IT.UTF-8", true }, Case { "it_CH.UTF-8", false }, Case { "en_US.UTF-8", false } }) {
        SCOPED_TRACE(language.locale);
        ScopedLocale locale(language.locale);
        ProgramTestApp app;
        CMainFrame* frame = OpenLauncher(app);
        ASSERT_NE(frame, nullptr);

        EXPECT_EQ(ReadButton(app, *frame, 1016).shown, language.italianButtons);
        EXPECT_EQ(ReadButton(app, *frame, 1017).shown, language.italianButtons);
        EXPECT_EQ(ReadButton(app, *frame, 1011).shown, !language.italianButtons);
        EXPECT_EQ(ReadButton(app, *frame, 1012).shown, !language.italianButtons);
        EXPECT_TRUE(ReadButton(app, *frame, 1013).shown);
    }
}

TEST_F(Launcher, CaptionAndButtonTextsComeFromTheTextLibrary)
{
    ProgramTestApp app;
    CMainFrame* frame = OpenLauncher(app);
    ASSERT_NE(frame, nullptr);

    // A second start looks for exactly this caption.
    auto window = app.Headless().Find("MainFrm");
    ASSERT_TRUE(window);
    EXPECT_EQ(window->caption, L"Varn MID");
    EXPECT_EQ(window->state, platform::ShowState::Normal);
    EXPECT_EQ(CWnd::FindTopLevelWindow(L"Varn MID"), frame);
    EXPECT_EQ(frame->GetStyle() & (WS_SYSMENU | WS_MINIMIZEBOX), WS_SYSMENU | WS_MINIMIZEBOX);

    // Empty texts would compare equal to captions that were never set.
    for (unsigned id : { 2, 3, 8, 12, 13 })
        ASSERT_FALSE(LibraryText(id).empty()) << "text " << id;
    ASSERT_NE(LibraryText(2), LibraryText(8)) << "exit must show text 2, not text 8";
    EXPECT_EQ(ReadButton(app, *frame, 1001).caption, LibraryText(2));
    EXPECT_EQ(ReadButton(app, *frame, 1002).caption, LibraryText(3));
    EXPECT_EQ(ReadButton(app, *frame, 1011).caption, LibraryText(12));
    EXPECT_EQ(ReadButton(app, *frame, 1012).caption, LibraryText(13));
    // Before a completed selection nothing is stored for the model line.
    EXPECT_EQ(ReadStatic(app, *frame, 10001).staticText, L"");
}

TEST_F(Launcher, CentresWithTruncatingIntegerDivisionAlsoOnASmallerScreen)
{
    int width = 0;
    int height = 0;
    {
        ProgramTestApp app(1280, 800);
        CMainFrame* frame = OpenLauncher(app);
        ASSERT_NE(frame, nullptr);
        CRect rect = frame->GetWindowRect();
        width = rect.Width();
        height = rect.Height();
        ASSERT_GT(width, 40);
        ASSERT_GT(height, 4);
        auto window = app.Headless().Find("MainFrm");
        ASSERT_TRUE(window);
        EXPECT_EQ(window->rect.x, (1280 - width) / 2);
        EXPECT_EQ(window->rect.y, (800 - height) / 2);
    }
    // 39 and 3 pixels too small: -19.5 and -1.5 become -19 and -1, not -20 and -2.
    ProgramTestApp app(width - 39, height - 3);
    CMainFrame* frame = OpenLauncher(app);
    ASSERT_NE(frame, nullptr);
    auto window = app.Headless().Find("MainFrm");
    ASSERT_TRUE(window);
    EXPECT_EQ(window->rect.x, -19);
    EXPECT_EQ(window->rect.y, -1);
    EXPECT_EQ(frame->GetWindowRect().left, -19);
    EXPECT_EQ(frame->GetWindowRect().Width(), width);
}

TEST_F(Launcher, CtrlAltQAndCtrlAltF2HideTheLauncherAndOpenTheModelDialog)
{
    struct Case {
        UINT key;
        bool shift;
    };
    for (Case hotKey : { Case { 'Q', false }, Case { VK_F2, false }, Case { 'Q', true } }) {
        SCOPED_TRACE(hotKey.key);
        ProgramTestApp app;
        ASSERT_NE(OpenLauncher(app), nullptr);
        app.ServeWhile([&] {
            app.Headless().PressKey("MainFrm", hotKey.key, true, true, hotKey.shift);
            ASSERT_TRUE(WaitUntil([&] { return app.IsShown("ModelFrm"); }));
            EXPECT_EQ(LauncherState(app), platform::ShowState::Hidden);
            // Cancelling the model dialog ends the program.
            app.Headless().PressKey("ModelFrm", VK_ESCAPE);
            ASSERT_TRUE(WaitUntil([&] { return app.IsQuitRequested(); }));
        });
        EXPECT_TRUE(app.IsQuitRequested());
    }
}

TEST_F(Launcher, CtrlOrAltAloneWithQOrF2DoesNothing)
{
    // Keys that are not the hot key reach the window as ordinary key messages.
    std::atomic<int> keysSeen { 0 };
    ProgramTestApp app;
    CMainFrame* frame = OpenLauncher(app);
    ASSERT_NE(frame, nullptr);
    CWnd::SetMessageSpy([&](CWnd&, UINT message, WPARAM key, LPARAM) {
        if ((message == WM_KEYDOWN || message == WM_SYSKEYDOWN) && (key == 'Q' || key == VK_F2))
            ++keysSeen;
    });

    app.ServeWhile([&] {
        app.Headless().PressKey("MainFrm", 'Q', true, false);
        app.Headless().PressKey("MainFrm", 'Q', false, true);
        app.Headless().PressKey("MainFrm", VK_F2, true, false, true);
        app.Headless().PressKey("MainFrm", VK_F2, false, true);
        ASSERT_TRUE(WaitUntil([&] { return keysSeen == 4; }));
        EXPECT_FALSE(app.EverCreated("ModelFrm"));
        EXPECT_EQ(LauncherState(app), platform::ShowState::Normal);

        // The same window does react to the real combination.
        app.Headless().PressKey("MainFrm", 'Q', true, true);
        ASSERT_TRUE(WaitUntil([&] { return app.IsShown("ModelFrm"); }));
        app.Headless().PressKey("ModelFrm", VK_ESCAPE);
        ASSERT_TRUE(WaitUntil([&] { return app.IsQuitRequested(); }));
    });
    EXPECT_EQ(keysSeen, 4);
}

TEST_F(Launcher, MinimiseWorksAgainAfterTheDesktopRestoredAndExitHidesThenEndsTheProgram)
{
    ProgramTestApp app;
    CMainFrame* frame = OpenLauncher(app);
    ASSERT_NE(frame, nullptr);
    app.ServeWhile([&] {
        ASSERT_TRUE(ClickButton(app, "MainFrm", *frame, 1002));
        ASSERT_TRUE(WaitUntil([&] { return LauncherState(app) == platform::ShowState::Minimised; }));
        ASSERT_TRUE(app.Headless().Restore("MainFrm"));
        ASSERT_TRUE(ClickButton(app, "MainFrm", *frame, 1002));
        ASSERT_TRUE(WaitUntil([&] { return LauncherState(app) == platform::ShowState::Minimised; }))
            << "minimise did nothing after the taskbar had restored the window";
        EXPECT_FALSE(app.IsQuitRequested());
        ASSERT_TRUE(ClickButton(app, "MainFrm", *frame, 1001));
        ASSERT_TRUE(WaitUntil([&] { return app.IsQuitRequested(); }));
    });

    EXPECT_EQ(app.m_pMainWnd, nullptr);
    EXPECT_FALSE(app.Headless().Find("MainFrm"));
    auto requests = app.Headless().Requests();
    auto hidden = std::find(requests.begin(), requests.end(), "show MainFrm hidden");
    auto destroyed = std::find(requests.begin(), requests.end(), "destroy MainFrm");
    EXPECT_NE(hidden, requests.end());
    EXPECT_NE(destroyed, requests.end());
    EXPECT_LT(hidden, destroyed);
}

TEST_F(Launcher, TextTableAnswersBeforeTheTextLibraryAndFallsBackToIt)
{
    ProgramTestApp app;
    CMainFrame* frame = OpenLauncher(app);
    ASSERT_NE(frame, nullptr);
    ASSERT_FALSE(LibraryText(2).empty());

    CUITxtCtrl table;
    EXPECT_EQ(table.fnAttachWnd(frame), 0);
    table.fnSetStaticText(10001, L"first");
    table.fnSetStaticText(10001, L"second");
    EXPECT_EQ(CUITxtCtrl::AcquireText(&table, 10001), L"second");
    EXPECT_EQ(table.fnSetStaticText(10001, nullptr), 0);
    EXPECT_EQ(CUITxtCtrl::AcquireText(&table, 10001), L"second");

    // An empty stored text is shown as it is; the library's text 2 is not asked for.
    table.fnSetStaticText(2, L"");
    EXPECT_EQ(CUITxtCtrl::AcquireText(&table, 2), L"");
    EXPECT_EQ(CUITxtCtrl::AcquireText(&table, 3), LibraryText(3));
    EXPECT_EQ(CUITxtCtrl::AcquireText(&table, 9999), L"");
    EXPECT_EQ(CUITxtCtrl::AcquireText(nullptr, 2), LibraryText(2));

    // Without a window nothing changes; attaching again empties the table.
    EXPECT_EQ(table.fnAttachWnd(nullptr), 1);
    EXPECT_EQ(CUITxtCtrl::AcquireText(&table, 10001), L"second");
    EXPECT_EQ(table.fnAttachWnd(frame), 0);
    EXPECT_EQ(table.fnGetStaticText(10001), nullptr);
}

} // namespace

// The command line refuses, before anything is written, every target that the drive list would
// not offer, a target named twice and anything that is not a drive letter.
TEST(MakeStickCommand, RefusesWhatTheDriveListWouldNotOffer)
{
    UseDemoSkinAndTexts();
    FakeMachine machine;
    machine.Sysfs().AddScsiDisk("sda", FakeSysfs::kSataDisk, 976773168, false);
    machine.Sysfs().AddScsiDisk("sdb", FakeSysfs::kUsbStick, 4000000, true);
    machine.Apply();
    auto drives = platform::linux::DriveTable::Instance().Drives();
    auto letterOf = [&](const std::string& name) {
        auto found = std::find_if(drives.begin(), drives.end(), [&](auto& drive) { return drive.sysName == name; });
        return found == drives.end() ? std::string("?") : std::string(1, found->letter) + ":";
    };
    std::string internal = letterOf("sda");
    std::string stick = letterOf("sdb");
    ASSERT_NE(internal, "?");
    ASSERT_NE(stick, "?");

    EXPECT_EQ(RunMakeStickCommand({ internal, "--yes" }), 2) << "a disk that is not on USB";
    EXPECT_EQ(RunMakeStickCommand({ stick, internal, "--yes" }), 2) << "one refused target refuses all";
    EXPECT_EQ(RunMakeStickCommand({ "D:", "--yes" }), 2) << "the CD";
    EXPECT_EQ(RunMakeStickCommand({ "Q:", "--yes" }), 2) << "no such drive";
    EXPECT_EQ(RunMakeStickCommand({ stick, stick, "--yes" }), 2);
    EXPECT_EQ(RunMakeStickCommand({ "--yes" }), 2);
    EXPECT_EQ(RunMakeStickCommand({ stick, "--fast" }), 2);
    for (const char* node : { "sda", "sdb" })
        EXPECT_EQ(fs::file_size(fs::path(machine.Sysfs().DevRoot()) / node), 0u) << node << " was written";
}
