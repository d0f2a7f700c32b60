#include "../support/ProgramTestSupport.h"

#include "recovery/CZAppDlg.h"
#include "recovery/CzRecoveryDlg.h"

#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <vector>

namespace {

constexpr std::uint64_t kStickBytes = 2'000'000'000;

// The writer dialog as it is open now, read on the UI thread.
CzRecoveryDlg* OpenWriter(CWinApp& app)
{
    CzRecoveryDlg* writer = nullptr;
    app.RunOnUiThread([&] { writer = g_pRecoveryDlg; });
    return writer;
}

int DriveCount(CWinApp& app, CZAppDlg& dialog)
{
    LRESULT count = -1;
    app.RunOnUiThread([&] { count = dialog.DriveList() ? dialog.DriveList()->SendMessage(CB_GETCOUNT) : -1; });
    return static_cast<int>(count);
}

bool FirstMegabyteIsBlank(const fs::path& image)
{
    std::ifstream file(image, std::ios::binary);
    std::vector<char> bytes(1 << 20);
    file.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (file.gcount() != static_cast<std::streamsize>(bytes.size()))
        return false;
    for (char byte : bytes) {
        if (byte != 0)
            return false;
    }
    return true;
}

class WriterDialog : public ::testing::Test {
protected:
    void SetUp() override
    {
        UseDemoSkinAndTexts();
        g_bRecoveryBusy = false;
    }
    void TearDown() override
    {
        CWnd::SetMessageSpy({});
        g_bRecoveryBusy = false;
    }

    // Opens the start dialog, starts the writer from it with button 1021 and runs `inWriter`
    // while the writer is open; `inWriter` closes the writer, the start dialog is closed here.
    void RunWriter(ProgramTestApp& app, const std::function<void(CZAppDlg&, CzRecoveryDlg&)>& inWriter)
    {
        CZAppDlg startDialog(nullptr);
        app.RunModal(startDialog, [&] {
            ASSERT_TRUE(WaitUntil([&] { return app.IsShown("AppFrm"); }));
            ASSERT_TRUE(ReadButton(app, startDialog, 1021).enabled);
            ASSERT_TRUE(ClickButton(app, "AppFrm", startDialog, 1021));
            ASSERT_TRUE(WaitUntil([&] { return app.IsShown("UsbFrm"); }));
            CzRecoveryDlg* writer = OpenWriter(app);
            ASSERT_NE(writer, nullptr);
            inWriter(startDialog, *writer);
            ASSERT_TRUE(WaitUntil([&] { return !app.Headless().Find("UsbFrm"); }));
            // The list is usable again once the writer is gone.
            bool listEnabled = false;
            app.RunOnUiThread([&] { listEnabled = startDialog.DriveList()->IsWindowEnabled(); });
            EXPECT_TRUE(listEnabled);
            ClickButton(app, "AppFrm", startDialog, 1022);
        });
    }

    FakeMachine m_machine;
    ProgramFolder m_folder { "[__App]\nApp1=Stick\nApp2=Close\n" };
};

TEST_F(WriterDialog, RefusesEveryWayOfClosingWhileBusy)
{
    WriteSizedFile(m_machine.StickPath("stick.img"), kStickBytes);
    m_machine.Apply(m_machine.StickPath("stick.img").string());
    std::atomic<int> clicksHandled { 0 };
    std::atomic<bool> markerSeen { false };
    ProgramTestApp app;
    CWnd::SetMessageSpy([&](CWnd& window, UINT message, WPARAM wParam, LPARAM) {
        if (window.GetTopLevelWindow()->GetInstanceName() != "UsbFrm")
            return;
        if (message == WM_COMMAND && (LOWORD(wParam) == 1001 || LOWORD(wParam) == 1014))
            ++clicksHandled;
        if (message == WM_KEYDOWN && wParam == 'X')
            markerSeen = true;
    });

    RunWriter(app, [&](CZAppDlg&, CzRecoveryDlg& writer) {
        g_bRecoveryBusy = true;
        // 1014 starts disabled; enabled, a click on it reaches its handler.
        app.RunOnUiThread([&] { writer.fnEnableBtn(1014, true); });
        app.Headless().PressKey("UsbFrm", VK_ESCAPE);
        app.Headless().PressKey("UsbFrm", VK_RETURN);
        ClickButton(app, "UsbFrm", writer, 1001);
        ClickButton(app, "UsbFrm", writer, 1014);
        // Input is served in order: once the marker key arrived, everything before it has too.
        app.Headless().PressKey("UsbFrm", 'X');
        ASSERT_TRUE(WaitUntil([&] { return markerSeen.load(); }));
        EXPECT_EQ(clicksHandled, 2);
        EXPECT_TRUE(app.IsShown("UsbFrm"));
        bool stillModal = false;
        app.RunOnUiThread([&] { stillModal = writer.IsModalLoopRunning(); });
        EXPECT_TRUE(stillModal);

        g_bRecoveryBusy = false;
        app.Headless().PressKey("UsbFrm", VK_ESCAPE);
    });
}

TEST_F(WriterDialog, StartWithTheStickGoneSaysSoAndStaysClosable)
{
    fs::path stick = m_machine.StickPath("stick.img");
    WriteSizedFile(stick, kStickBytes);
    m_machine.Apply(stick.string());
    ProgramTestApp app;
    app.StartDeviceNotifications();

    RunWriter(app, [&](CZAppDlg& startDialog, CzRecoveryDlg& writer) {
        EXPECT_EQ(ReadButton(app, writer, 1015).faceText, LibraryText(26));
        EXPECT_FALSE(ReadButton(app, writer, 1014).enabled);
        // The stick is pulled while the writer is open: the list under it is rebuilt empty.
        fs::remove(stick);
        ASSERT_TRUE(WaitUntil([&] { return DriveCount(app, startDialog) == 0; }));

        ASSERT_TRUE(ClickButton(app, "UsbFrm", writer, 1015));
        ASSERT_TRUE(WaitUntil([&] {
            return ReadStatic(app, writer, 10005).staticText == LibraryText(32) && !g_bRecoveryBusy;
        }));
        ControlState start = ReadButton(app, writer, 1015);
        EXPECT_TRUE(start.shown);
        EXPECT_TRUE(start.enabled);
        EXPECT_TRUE(ReadButton(app, writer, 1001).shown);
        // The writer stays bound to the stick it was opened for, and writes nothing elsewhere.
        EXPECT_EQ(ReadStatic(app, writer, 10011).staticText.substr(0, 4), L"E (1");
        EXPECT_FALSE(fs::exists(stick));
        app.Headless().PressKey("UsbFrm", VK_ESCAPE);
    });
}

TEST_F(WriterDialog, StartWithoutASelectedDriveFormatsNothing)
{
    // A fixed USB disk is listed but never selected.
    fs::path disk = m_machine.StickPath("disk.img");
    WriteSizedFile(disk, kStickBytes);
    m_machine.Apply(disk.string() + ":fixed");
    ProgramTestApp app;

    RunWriter(app, [&](CZAppDlg& startDialog, CzRecoveryDlg& writer) {
        ASSERT_EQ(DriveCount(app, startDialog), 1);
        ASSERT_TRUE(ClickButton(app, "UsbFrm", writer, 1015));
        ASSERT_TRUE(WaitUntil([&] {
            return ReadStatic(app, writer, 10005).staticText == LibraryText(27) && !g_bRecoveryBusy;
        }));
        EXPECT_TRUE(ReadButton(app, writer, 1015).enabled);
        EXPECT_TRUE(ReadButton(app, writer, 1001).shown);
        ASSERT_TRUE(ClickButton(app, "UsbFrm", writer, 1001));
    });
    EXPECT_EQ(fs::file_size(disk), kStickBytes);
    EXPECT_TRUE(FirstMegabyteIsBlank(disk));
}

} // namespace
