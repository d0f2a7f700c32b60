#include "FrameworkTestSupport.h"

#include "framework/CFrameWnd.h"
#include "framework/Messages.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

std::vector<std::string> g_calls;

class BaseWindow : public CWnd {
public:
    void OnBaseCommand() { g_calls.push_back("base 10"); }
    void OnShadowed() { g_calls.push_back("base 20"); }
    LRESULT OnCustom(WPARAM wParam, LPARAM lParam) { return static_cast<LRESULT>(wParam) + lParam; }
    DECLARE_MESSAGE_MAP()
};

IMPLEMENT_MESSAGE_MAP(BaseWindow, CWnd,
    OnBnClicked(10, &BaseWindow::OnBaseCommand),
    OnBnClicked(20, &BaseWindow::OnShadowed),
    OnMessage(WM_APP + 1, &BaseWindow::OnCustom))

class DerivedWindow : public BaseWindow {
public:
    void OnDerived() { g_calls.push_back("derived 20"); }
    void OnRange(UINT id) { g_calls.push_back("range " + std::to_string(id)); }
    int OnCreate(CREATESTRUCT*) { return m_refuseCreation ? -1 : 0; }
    bool m_refuseCreation = false;
    DECLARE_MESSAGE_MAP()
};

IMPLEMENT_MESSAGE_MAP(DerivedWindow, BaseWindow,
    OnWmCreate(&DerivedWindow::OnCreate),
    OnBnClicked(20, &DerivedWindow::OnDerived),
    OnBnClickedRange(100, 104, &DerivedWindow::OnRange))

TEST(MessageMap, DerivedEntriesWinAndUnmatchedOnesReachTheBase)
{
    TestApp app;
    g_calls.clear();
    DerivedWindow window;
    CREATESTRUCT cs;
    cs.cx = 10;
    cs.cy = 10;
    ASSERT_TRUE(window.CreateTopLevel(cs, nullptr));

    window.SendMessage(WM_COMMAND, MAKEWPARAM(20, BN_CLICKED));
    window.SendMessage(WM_COMMAND, MAKEWPARAM(10, BN_CLICKED));
    window.SendMessage(WM_COMMAND, MAKEWPARAM(103, BN_CLICKED));
    window.SendMessage(WM_COMMAND, MAKEWPARAM(105, BN_CLICKED)); // outside the range: nothing
    window.SendMessage(WM_COMMAND, MAKEWPARAM(10, 5));           // another notification code: nothing
    EXPECT_EQ(window.SendMessage(WM_APP + 1, 40, 2), 42);
    EXPECT_EQ(g_calls, (std::vector<std::string> { "derived 20", "base 10", "range 103" }));
}

TEST(MessageMap, RefusedCreationLeavesNoWindow)
{
    TestApp app;
    DerivedWindow window;
    window.m_refuseCreation = true;
    CREATESTRUCT cs;
    EXPECT_FALSE(window.CreateTopLevel(cs, nullptr));
    EXPECT_EQ(window.GetSafeHwnd(), 0u);
    EXPECT_TRUE(CWnd::TopLevelWindows().empty());
}

class SelfDeletingFrame : public CFrameWnd {
public:
    explicit SelfDeletingFrame(bool& deleted) : m_deleted(deleted) { }
    ~SelfDeletingFrame() override { m_deleted = true; }

private:
    bool& m_deleted;
};

TEST(FrameWindow, ClosingTheMainWindowDeletesItAndEndsTheLoop)
{
    TestApp app;
    bool deleted = false;
    auto* frame = new SelfDeletingFrame(deleted);
    app.m_pMainWnd = frame;
    ASSERT_TRUE(frame->LoadFrame(128, WS_OVERLAPPEDWINDOW));
    frame->PostMessage(WM_CLOSE);
    app.PumpUntil([] { return false; }); // only the quit request ends it
    EXPECT_TRUE(deleted);
    EXPECT_EQ(app.m_pMainWnd, nullptr);
    EXPECT_TRUE(app.IsQuitRequested());
}

TEST(KeyState, FollowsHostInputIncludingModifiers)
{
    TestApp app;
    CWnd window;
    window.SetInstanceName("Keys");
    CREATESTRUCT cs;
    cs.cx = 10;
    cs.cy = 10;
    ASSERT_TRUE(window.CreateTopLevel(cs, nullptr));
    window.ShowWindow(SW_SHOW);

    platform::HostInput down;
    down.kind = platform::HostInput::Kind::KeyDown;
    down.key = 'Q';
    down.ctrl = true;
    down.alt = true;
    app.Headless().Inject("Keys", down);
    while (app.PumpPending()) { }
    EXPECT_LT(GetKeyState(VK_CONTROL), 0);
    EXPECT_LT(GetKeyState(VK_MENU), 0);
    EXPECT_LT(GetKeyState('Q'), 0);
    EXPECT_EQ(GetKeyState(VK_SHIFT), 0);

    platform::HostInput up = down;
    up.kind = platform::HostInput::Kind::KeyUp;
    up.ctrl = false;
    up.alt = false;
    app.Headless().Inject("Keys", up);
    while (app.PumpPending()) { }
    EXPECT_EQ(GetKeyState(VK_CONTROL), 0);
    EXPECT_EQ(GetKeyState('Q'), 0);
}

} // namespace
