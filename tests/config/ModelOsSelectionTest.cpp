#include "../support/ProgramTestSupport.h"

#include "config/ZModelDlg.h"
#include "config/ZOSDlg.h"
#include "recovery/CZAppDlg.h"

#include <gtest/gtest.h>

#include <string>

namespace {

const char* const kCdIndex = "[Global]\n"
                             "M10=A\n"
                             "M12=B\n"
                             "Linux=L\n"
                             "Win11=W\n"
                             "[Model]\n"
                             "Model1=\"Varn MID M10\" \"M10\"\n"
                             "Model2=\"Varn MID M12 Pro\" \"M12\"\n"
                             "[OS]\n"
                             "OS1=\"Linux\" \"Linux\"\n"
                             "OS2=\"Windows 11\" \"Win11\"\n"
                             "[__App]\n"
                             "App1=Recovery stick\n"
                             "[B_W_App]\n"
                             "App1=Recovery stick\n"
                             "App2=Close\n"
                             "App3=Drivers\n"
                             "[A_L_App]\n"
                             "App1=Recovery stick\n"
                             "App2=Close\n";

class Selection : public ::testing::Test {
protected:
    void SetUp() override
    {
        UseDemoSkinAndTexts();
        m_machine.Apply();
    }

    // Reads a global on the UI thread, where the dialogs write it.
    static std::wstring Global(ProgramTestApp& app, const wchar_t* global)
    {
        std::wstring value;
        app.RunOnUiThread([&] { value = global; });
        return value;
    }

    // Clicks an entry of the open dialog `instanceName`.
    static bool Choose(ProgramTestApp& app, const std::string& instanceName, UINT id)
    {
        if (!WaitUntil([&] { return app.IsShown(instanceName); }))
            return false;
        CzCanvas* dialog = FindCanvas(app, instanceName);
        return dialog && ClickButton(app, instanceName, *dialog, id);
    }

    // Text 10 with the model in place of its one "%s".
    static std::wstring ModelLine(const std::wstring& model)
    {
        std::wstring line = LibraryText(10);
        size_t conversion = line.find(L"%s");
        if (conversion != std::wstring::npos)
            line.replace(conversion, 2, model);
        return line;
    }

    FakeMachine m_machine;
    ProgramFolder m_folder { kCdIndex };
};

TEST_F(Selection, EntriesFillTheFirstSlotsInKeyOrderAndTheRestAreHidden)
{
    m_folder.WriteIndex("[Model]\n"
                        "Model2=\"Model B\" \"MB\"\n"
                        "Model4=\"Model D\" \"MD\"\n");
    ProgramTestApp app;
    ZModelDlg dialog(nullptr);
    int result = app.RunModal(dialog, [&] {
        ASSERT_TRUE(WaitUntil([&] { return app.IsShown("ModelFrm"); }));
        EXPECT_EQ(ReadButton(app, dialog, 1101).faceText, L" Model B");
        EXPECT_EQ(ReadButton(app, dialog, 1102).faceText, L" Model D");
        EXPECT_TRUE(ReadButton(app, dialog, 1101).shown);
        EXPECT_TRUE(ReadButton(app, dialog, 1102).shown);
        EXPECT_FALSE(ReadButton(app, dialog, 1103).shown);
        EXPECT_FALSE(ReadButton(app, dialog, 1104).shown);
        EXPECT_EQ(ReadButton(app, dialog, 1001).caption, LibraryText(2));
        ClickButton(app, "ModelFrm", dialog, 1101);
    });
    EXPECT_EQ(result, IDOK);
    EXPECT_STREQ(g_szModel, L"MB");
    EXPECT_STREQ(g_szOS, L"");
}

TEST_F(Selection, FullSlotsHideNothingAndTheOsCaptionIsDrawnUnchanged)
{
    m_folder.WriteIndex("[Model]\n"
                        "Model1=\"A\" \"1\"\nModel2=\"B\" \"2\"\nModel3=\"C\" \"3\"\nModel4=\"D\" \"4\"\n"
                        "[OS]\n"
                        "OS1=\"Linux\" \"Lx\"\nOS2=\"V\" \"2\"\nOS3=\"W\" \"3\"\nOS4=\"X\" \"4\"\nOS5=\"Y\" \"Last\"\n");
    SetGlobal(g_szModel, L"chosen before");
    ProgramTestApp app;
    {
        ZModelDlg dialog(nullptr);
        app.RunModal(dialog, [&] {
            ASSERT_TRUE(WaitUntil([&] { return app.IsShown("ModelFrm"); }));
            for (UINT id = 1101; id <= 1104; ++id)
                EXPECT_TRUE(ReadButton(app, dialog, id).shown) << id;
            app.Headless().PressKey("ModelFrm", VK_ESCAPE);
        });
    }
    ZOSDlg dialog(nullptr);
    int result = app.RunModal(dialog, [&] {
        ASSERT_TRUE(WaitUntil([&] { return app.IsShown("OSFrm"); }));
        for (UINT id = 1111; id <= 1115; ++id)
            EXPECT_TRUE(ReadButton(app, dialog, id).shown) << id;
        EXPECT_EQ(ReadButton(app, dialog, 1111).faceText, L"Linux");
        ClickButton(app, "OSFrm", dialog, 1115);
    });
    EXPECT_EQ(result, IDOK);
    EXPECT_STREQ(g_szOS, L"Last");
    EXPECT_STREQ(g_szModel, L"chosen before");
}

TEST_F(Selection, AnEntryWithoutValueEmptiesTheGlobal)
{
    m_folder.WriteIndex("[Model]\nModel1=Caption only\n");
    SetGlobal(g_szModel, L"old value");
    ProgramTestApp app;
    ZModelDlg dialog(nullptr);
    int result = app.RunModal(dialog, [&] {
        ASSERT_TRUE(WaitUntil([&] { return app.IsShown("ModelFrm"); }));
        EXPECT_EQ(ReadButton(app, dialog, 1101).faceText, L" Caption only");
        ClickButton(app, "ModelFrm", dialog, 1101);
    });
    EXPECT_EQ(result, IDOK);
    EXPECT_STREQ(g_szModel, L"");
}

TEST_F(Selection, CompletedSelectionShowsTheModelAndChoosesTheStartDialogsSection)
{
    ProgramTestApp app;
    CMainFrame* frame = OpenLauncher(app);
    ASSERT_NE(frame, nullptr);
    app.ServeWhile([&] {
        app.Headless().PressKey("MainFrm", 'Q', true, true);
        ASSERT_TRUE(Choose(app, "ModelFrm", 1102));
        ASSERT_TRUE(Choose(app, "OSFrm", 1112));
        ASSERT_TRUE(WaitUntil([&] { return app.IsShown("MainFrm"); }));
        EXPECT_EQ(ReadStatic(app, *frame, 10001).staticText, ModelLine(L"M12"));
        EXPECT_EQ(Global(app, g_szModel), L"M12");
        EXPECT_EQ(Global(app, g_szOS), L"Win11");

        // M12 is B and Win11 is W: the start dialog counts the entries of [B_W_App].
        ASSERT_TRUE(ClickButton(app, "MainFrm", *frame, 1011));
        ASSERT_TRUE(WaitUntil([&] { return app.IsShown("AppFrm"); }));
        auto* startDialog = dynamic_cast<CZAppDlg*>(FindCanvas(app, "AppFrm"));
        ASSERT_NE(startDialog, nullptr);
        int appCount = -1;
        app.RunOnUiThread([&] { appCount = startDialog->AppCount(); });
        EXPECT_EQ(appCount, 3);
        ASSERT_TRUE(ClickButton(app, "AppFrm", *startDialog, 1001));
        ASSERT_TRUE(WaitUntil([&] { return !app.Headless().Find("AppFrm") && app.IsShown("MainFrm"); }));

        // A second run replaces the model line.
        app.Headless().PressKey("MainFrm", VK_F2, true, true);
        ASSERT_TRUE(Choose(app, "ModelFrm", 1101));
        ASSERT_TRUE(Choose(app, "OSFrm", 1111));
        ASSERT_TRUE(WaitUntil([&] { return app.IsShown("MainFrm"); }));
        EXPECT_EQ(ReadStatic(app, *frame, 10001).staticText, ModelLine(L"M10"));
    });
    EXPECT_FALSE(app.IsQuitRequested());
}

TEST_F(Selection, CancelInTheOsDialogKeepsTheChosenModelAndEndsTheProgram)
{
    SetGlobal(g_szOS, L"earlier OS");
    ProgramTestApp app;
    ASSERT_NE(OpenLauncher(app), nullptr);
    app.ServeWhile([&] {
        app.Headless().PressKey("MainFrm", 'Q', true, true);
        ASSERT_TRUE(Choose(app, "ModelFrm", 1101));
        ASSERT_TRUE(Choose(app, "OSFrm", 1001));
        ASSERT_TRUE(WaitUntil([&] { return app.IsQuitRequested(); }));
    });
    EXPECT_TRUE(app.IsQuitRequested());
    EXPECT_STREQ(g_szModel, L"M10");
    EXPECT_STREQ(g_szOS, L"earlier OS");
}

TEST_F(Selection, CancelInTheModelDialogEndsTheProgramWithoutTheOsDialog)
{
    SetGlobal(g_szModel, L"earlier model");
    ProgramTestApp app;
    ASSERT_NE(OpenLauncher(app), nullptr);
    app.ServeWhile([&] {
        app.Headless().PressKey("MainFrm", 'Q', true, true);
        ASSERT_TRUE(Choose(app, "ModelFrm", 1001));
        ASSERT_TRUE(WaitUntil([&] { return app.IsQuitRequested(); }));
    });
    EXPECT_TRUE(app.IsQuitRequested());
    EXPECT_FALSE(app.EverCreated("OSFrm"));
    EXPECT_STREQ(g_szModel, L"earlier model");
}

TEST_F(Selection, AnOsDialogThatCannotLoadEndsWithMinusOneAndTheSelectionCompletes)
{
    TempFolder skin;
    MakeSkinWithout("OSFrm", skin.Path() / "skin");
    CzCanvas::SetSkinFolder((skin.Path() / "skin").wstring());
    SetGlobal(g_szOS, L"earlier OS");

    ProgramTestApp app;
    {
        ZOSDlg dialog(nullptr);
        EXPECT_EQ(dialog.DoModal(), -1);
    }
    CMainFrame* frame = OpenLauncher(app);
    ASSERT_NE(frame, nullptr);
    app.ServeWhile([&] {
        app.Headless().PressKey("MainFrm", 'Q', true, true);
        ASSERT_TRUE(Choose(app, "ModelFrm", 1102));
        ASSERT_TRUE(WaitUntil([&] { return app.IsShown("MainFrm"); }));
        EXPECT_EQ(ReadStatic(app, *frame, 10001).staticText, ModelLine(L"M12"));
    });
    EXPECT_FALSE(app.IsQuitRequested());
    EXPECT_FALSE(app.EverCreated("OSFrm"));
    EXPECT_STREQ(g_szModel, L"M12");
    EXPECT_STREQ(g_szOS, L"earlier OS");
}

} // namespace
