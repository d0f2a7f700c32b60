#pragma once

// What the tests of the program's windows share: an application on the headless host with a
// watchdog, the demo CD's skin and English texts, a program folder holding the test's own
// index.ini, a machine of fake disks, and clicks on script controls as a user makes them.
//
// The test's main thread is the UI thread and runs the windows' modal loops; a second thread
// plays the user. Everything the user thread reads of a window goes through RunOnUiThread.

#include "../framework/FrameworkTestSupport.h"
#include "../platform/linux/FakeSysfs.h"

#include "app/CMainFrame.h"
#include "framework/CDialog.h"
#include "framework/CWinApp.h"
#include "framework/Messages.h"
#include "platform/host/HeadlessHost.h"
#include "platform/linux/DriveTable.h"
#include "shared/Globals.h"
#include "shared/LibraryText.h"
#include "uilib/CzButton.h"
#include "uilib/CzCanvas.h"
#include "uilib/CzStatic.h"
#include "uilib/CzTextLibrary.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <fstream>
#include <functional>
#include <sstream>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

// An application on the headless host of the given screen size. A test that deadlocks ends
// the process with a message instead of hanging the suite.
class ProgramTestApp : public TestApp {
public:
    explicit ProgramTestApp(int screenWidth = 1280, int screenHeight = 800, int watchdogSeconds = 40)
        : TestApp(watchdogSeconds, screenWidth, screenHeight)
    {
    }

    bool IsShown(const std::string& instanceName)
    {
        auto state = Headless().Find(instanceName);
        return state && state->state == platform::ShowState::Normal;
    }

    // Whether a window of this instance name was ever created, alive or gone.
    bool EverCreated(const std::string& instanceName)
    {
        for (const auto& window : Headless().Windows()) {
            if (window.instanceName == instanceName)
                return true;
        }
        return false;
    }

    // Runs `user` on a second thread while this thread serves the UI, until the user is done
    // or the program quits. A user that finishes while a modal loop still runs is a failed
    // test: the loops are then ended so that the test reports instead of hanging.
    void ServeWhile(const std::function<void()>& user)
    {
        std::atomic<bool> userDone { false };
        std::atomic<bool> served { false };
        std::thread userThread([&] {
            user();
            userDone = true;
            Headless().Wake();
            for (int i = 0; i < 300 && !served; ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            if (!served) {
                ADD_FAILURE() << "a window still waited for the user after the user's last step";
                PostQuitMessage(0);
            }
        });
        PumpUntil([&] { return userDone.load(); });
        served = true;
        userThread.join();
    }

    // Runs the dialog modally on this thread with `user` playing on a second one.
    int RunModal(CDialog& dialog, const std::function<void()>& user)
    {
        std::atomic<bool> ended { false };
        std::thread userThread([&] {
            user();
            for (int i = 0; i < 300 && !ended; ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            if (!ended) {
                ADD_FAILURE() << "the dialog was still open after the user's last step";
                PostQuitMessage(0);
            }
        });
        int result = dialog.DoModal();
        ended = true;
        userThread.join();
        return result;
    }
};

inline std::wstring DemoAutorunFolder()
{
    return fs::path(std::string(ARKEVEN_BINARY_DIR) + "/cd/AUTORUN").wstring();
}

// The demo CD's skin, and its texts in English: the text library loads once per process, for
// the language the environment names at that moment. The shipped texts say "Close" for both
// text 2 and text 8; the tests' copy gives text 8 a wording of its own, so that a control
// showing the wrong one of the two fails.
inline void UseDemoSkinAndTexts()
{
    static const bool textsLoaded = [] {
        static TempFolder folder;
        std::ifstream shipped(fs::path(DemoAutorunFolder()) / "Localization" / "en.txt");
        if (!shipped)
            return false;
        std::ostringstream texts;
        texts << "8=Close the list\n" << shipped.rdbuf(); // the first line of an ID wins
        WriteText(folder.Path() / "en.txt", texts.str());
        ::setenv("LANG", "C", 1);
        ::unsetenv("LC_ALL");
        ::unsetenv("LC_MESSAGES");
        return z32InitZEZivu(folder.Path().wstring(), 0);
    }();
    ASSERT_TRUE(textsLoaded) << "the demo CD's texts could not be loaded";
    CzCanvas::SetSkinFolder(DemoAutorunFolder());
}

inline void SetGlobal(wchar_t (&global)[kPathBufferSize], const std::wstring& text)
{
    std::wmemset(global, 0, kPathBufferSize);
    std::wcsncpy(global, text.c_str(), kPathBufferSize - 1);
}

// A program folder with the test's index.ini, made g_szAppDir; the selection globals start
// empty and are emptied again afterwards.
class ProgramFolder {
public:
    explicit ProgramFolder(const std::string& indexIni = {})
    {
        if (!indexIni.empty())
            WriteIndex(indexIni);
        SetGlobal(g_szAppDir, m_folder.Path().wstring() + L"/");
        SetGlobal(g_szModel, L"");
        SetGlobal(g_szOS, L"");
    }
    ~ProgramFolder()
    {
        SetGlobal(g_szAppDir, L"");
        SetGlobal(g_szModel, L"");
        SetGlobal(g_szOS, L"");
    }

    void WriteIndex(const std::string& bytes) { WriteText(m_folder.Path() / "index.ini", bytes); }
    const fs::path& Path() const { return m_folder.Path(); }

private:
    TempFolder m_folder;
};

// The process-wide drive table on a fake machine: a fake sysfs, a CD root and virtual sticks.
// Without disks added the machine has one internal SATA disk and nothing else.
class FakeMachine {
public:
    FakeMachine()
        : m_sysfs(m_temp.Path())
    {
        WriteText(CdRoot() / "AUTORUN" / "arkeven", "");
    }
    ~FakeMachine() { platform::linux::DriveTable::ResetInstance(); }

    FakeSysfs& Sysfs() { return m_sysfs; }
    fs::path CdRoot() const { return m_temp.Path() / "cd"; }
    fs::path StickPath(const std::string& name) const { return m_temp.Path() / "sticks" / name; }

    // Makes the table current; `sticks` as ARKEVEN_VIRTUAL_STICKS names them.
    void Apply(const std::string& sticks = {})
    {
        fs::create_directories(m_temp.Path() / "sticks");
        platform::linux::DriveTable::Options options;
        options.sysfsRoot = m_sysfs.SysRoot();
        options.devRoot = m_sysfs.DevRoot();
        options.cdRoot = CdRoot().string();
        options.virtualSticks = sticks;
        options.mountInfoPath = (m_temp.Path() / "mountinfo").string();
        platform::linux::DriveTable::ResetInstance(options);
    }

private:
    TempFolder m_temp;
    FakeSysfs m_sysfs;
};

// A control's state as the user thread sees it, read on the UI thread.
struct ControlState {
    bool exists = false;
    bool shown = false;
    bool enabled = false;
    std::wstring caption;
    std::wstring faceText;
    std::wstring staticText;
};

inline ControlState ReadButton(CWinApp& app, CzCanvas& canvas, UINT id)
{
    ControlState state;
    app.RunOnUiThread([&] {
        CzButton* button = canvas.FindButton(id);
        if (!button)
            return;
        state.exists = true;
        state.shown = button->IsShownFlag();
        state.enabled = button->IsWindowEnabled();
        state.caption = button->Caption();
        if (const FaceText* face = button->GetFaceText())
            state.faceText = face->text;
    });
    return state;
}

inline ControlState ReadStatic(CWinApp& app, CzCanvas& canvas, UINT id)
{
    ControlState state;
    app.RunOnUiThread([&] {
        CzStatic* label = canvas.FindStatic(id);
        if (!label)
            return;
        state.exists = true;
        state.shown = label->IsShownFlag();
        state.enabled = label->IsWindowEnabled();
        state.staticText = label->CurrentText();
    });
    return state;
}

// Clicks the middle of a script button as the user would, through the host.
inline bool ClickButton(ProgramTestApp& app, const std::string& instanceName, CzCanvas& canvas, UINT id)
{
    std::optional<CPoint> centre;
    app.RunOnUiThread([&] {
        if (CzButton* button = canvas.FindButton(id)) {
            const CRect& rect = button->GetRelativeRect();
            centre = CPoint { rect.left + rect.Width() / 2, rect.top + rect.Height() / 2 };
        }
    });
    return centre && app.Headless().Click(instanceName, centre->x, centre->y);
}

// Sets the locale variables for one scope; GetSystemDefaultLangID reads them at each call.
class ScopedLocale {
public:
    explicit ScopedLocale(const char* lang)
    {
        for (const char* variable : { "LC_ALL", "LC_MESSAGES", "LANG" }) {
            const char* value = std::getenv(variable);
            m_saved.emplace_back(variable, value ? std::optional<std::string>(value) : std::nullopt);
            ::unsetenv(variable);
        }
        ::setenv("LANG", lang, 1);
    }
    ~ScopedLocale()
    {
        for (auto& [variable, value] : m_saved) {
            if (value)
                ::setenv(variable, value->c_str(), 1);
            else
                ::unsetenv(variable);
        }
    }
    ScopedLocale(const ScopedLocale&) = delete;
    ScopedLocale& operator=(const ScopedLocale&) = delete;

private:
    std::vector<std::pair<const char*, std::optional<std::string>>> m_saved;
};

// The launcher as start-up makes it: the application's main window, shown. The framework
// deletes it with its window. Null when its creation was refused.
inline CMainFrame* OpenLauncher(CWinApp& app)
{
    auto* frame = new CMainFrame;
    app.m_pMainWnd = frame;
    if (!frame->LoadFrame(128, WS_OVERLAPPEDWINDOW | FWS_ADDTOTITLE)) {
        app.m_pMainWnd = nullptr;
        return nullptr;
    }
    frame->fnShowWindow(SW_SHOW);
    return frame;
}

// The newest open canvas window of this instance name ("ModelFrm"); null when none. The
// pointer stays good while that window is open.
inline CzCanvas* FindCanvas(CWinApp& app, const std::string& instanceName)
{
    CzCanvas* canvas = nullptr;
    app.RunOnUiThread([&] {
        auto windows = CWnd::TopLevelWindows();
        for (auto it = windows.rbegin(); it != windows.rend() && !canvas; ++it) {
            if ((*it)->GetInstanceName() == instanceName)
                canvas = dynamic_cast<CzCanvas*>(*it);
        }
    });
    return canvas;
}

// A skin folder like the demo CD's whose script lacks the window `section`; everything else
// (fonts, texts) is linked from the demo CD.
inline void MakeSkinWithout(const std::string& section, const fs::path& folder)
{
    fs::path demo(DemoAutorunFolder());
    std::ifstream script(demo / "Arkeven.zsp");
    std::ostringstream kept;
    std::string line;
    bool skipping = false;
    while (std::getline(script, line)) {
        if (!skipping && line.rfind("window " + section + " ", 0) == 0)
            skipping = true;
        if (!skipping)
            kept << line << "\n";
        if (skipping && line == "}")
            skipping = false;
    }
    fs::create_directories(folder);
    WriteText(folder / "Arkeven.zsp", kept.str());
    for (const auto& entry : fs::directory_iterator(demo)) {
        if (entry.path().filename() != "Arkeven.zsp")
            fs::create_symlink(entry.path(), folder / entry.path().filename());
    }
}
