// The canvas controls as a user meets them: clicks, hover and press feedback, the drop-down
// list's messages and mouse/keyboard handling, the progress bar's range, keyboard focus; and the
// window as a screen reader has it: the accessibility tree, its events, its actions.
#include "../framework/FrameworkTestSupport.h"

#include "framework/Messages.h"
#include "uilib/CzButton.h"
#include "uilib/CzCanvasWnd.h"
#include "uilib/CzDropList.h"
#include "uilib/CzProgressBar.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <vector>

namespace {

namespace fs = std::filesystem;

const char* kTestSkin = R"(
font 1 = "DejaVuSans.ttf", 12
window TestFrm {
    size = 240, 160
    background = #FFFFFF
    button 10 { rect = 10, 10, 60, 30; fill = #0000FF; hover-fill = #00FF00; pressed-fill = #FF0000; disabled-fill = #808080 }
    button 11 { rect = 80, 10, 60, 30; fill = #0000FF }
    button 12 { rect = 150, 10, 40, 30; fill = #0000FF; visible = no }
    button 13 { rect = 200, 10, 30, 30; fill = #0000FF; enabled = no }
    droplist 2001 { rect = 10, 50, 120, 20; item-height = 16; visible-items = 3 }
    progress 2002 { rect = 10, 140, 100, 10; track = #000000; bar = #FFFFFF }
    static 500 { rect = 140, 50, 90, 20 }
    label { rect = 140, 80, 90, 20; text = "Title"; font = 1 }
}
window HeaderFrm {
    size = 240, 160
    header = 40
    button 1 { rect = 180, 5, 50, 30 }
    button 5 { rect = 10, 100, 60, 30 }
    droplist 20 { rect = 10, 50, 120, 20; item-height = 16; visible-items = 2 }
}
)";

class SkinFolder {
public:
    SkinFolder()
        : m_path(fs::temp_directory_path() / ("canvas-test-" + std::to_string(::getpid())))
    {
        fs::create_directories(m_path);
        std::ofstream(m_path / "Test.zsp") << kTestSkin;
        fs::copy_file("/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf", m_path / "DejaVuSans.ttf",
            fs::copy_options::overwrite_existing);
        CzCanvas::SetSkinFolder(m_path.wstring());
    }
    ~SkinFolder()
    {
        CzCanvas::SetSkinFolder(L"");
        fs::remove_all(m_path);
    }

private:
    fs::path m_path;
};

class TestCanvas : public CzCanvasWnd {
public:
    explicit TestCanvas(std::vector<UINT>& clicks)
        : m_clicks(clicks)
    {
    }
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override
    {
        if (message == WM_COMMAND && HIWORD(wParam) == BN_CLICKED)
            m_clicks.push_back(LOWORD(wParam));
        return CzCanvasWnd::WindowProc(message, wParam, lParam);
    }
    std::wstring fnAcquireText(UINT id) override { return L"T" + std::to_wstring(id); }

private:
    std::vector<UINT>& m_clicks;
};

class CanvasTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_window = new TestCanvas(m_clicks); // a frame deletes itself with its window
        ASSERT_TRUE(m_window->LoadFrame(1, 0));
        m_window->fnParseScript(L"Test.zsp", L"TestFrm", 0);
        m_window->ShowWindow(SW_SHOW);
    }
    void TearDown() override { m_window->DestroyWindow(); }

    void Input(platform::HostInput::Kind kind, int x, int y)
    {
        platform::HostInput input;
        input.kind = kind;
        input.x = x;
        input.y = y;
        m_app.Headless().Inject("TestFrm", input);
        Pump();
    }
    void Move(int x, int y) { Input(platform::HostInput::Kind::MouseMove, x, y); }
    void Down(int x, int y) { Input(platform::HostInput::Kind::MouseDown, x, y); }
    void Up(int x, int y) { Input(platform::HostInput::Kind::MouseUp, x, y); }
    void Click(int x, int y)
    {
        m_app.Headless().Click("TestFrm", x, y);
        Pump();
    }
    void Key(UINT key, bool shift = false)
    {
        m_app.Headless().PressKey("TestFrm", key, false, false, shift);
        Pump();
    }
    void Pump()
    {
        while (m_app.PumpPending()) { }
    }
    std::uint32_t PresentedPixel(int x, int y)
    {
        std::vector<std::uint32_t> pixels;
        int width = 0;
        int height = 0;
        EXPECT_TRUE(m_app.Headless().CopyFrame("TestFrm", pixels, width, height));
        return pixels[static_cast<size_t>(y) * width + x] & 0xFFFFFF;
    }
    void Action(std::uint32_t node)
    {
        platform::HostInput input;
        input.kind = platform::HostInput::Kind::AccessibleAction;
        input.node = node;
        m_app.Headless().Inject("TestFrm", input);
        Pump();
    }
    const platform::AccessibleNode& Node(std::uint32_t id)
    {
        const platform::AccessibleNode* node = m_window->GetAccessibleTree().Find(id);
        EXPECT_NE(node, nullptr) << "no node " << id;
        static const platform::AccessibleNode none;
        return node ? *node : none;
    }
    bool Raised(platform::AccessibleEventKind kind, std::uint32_t node)
    {
        for (const platform::AccessibleEvent& event : m_events) {
            if (event.kind == kind && event.node == node)
                return true;
        }
        return false;
    }
    void TakeEvents() { m_events = m_app.Headless().TakeAccessibleEvents("TestFrm"); }
    CzButton& Button(UINT id) { return *m_window->FindButton(id); }
    CzDropList& List() { return static_cast<CzDropList&>(*m_window->fnGetDlgItem(2001)); }

    TestApp m_app;
    SkinFolder m_skin;
    std::vector<UINT> m_clicks;
    TestCanvas* m_window = nullptr;
    std::vector<platform::AccessibleEvent> m_events;
};

TEST_F(CanvasTest, ButtonGivesFeedbackAndClicksOnlyOnAReleaseInside)
{
    EXPECT_EQ(PresentedPixel(12, 12), 0x0000FFu);
    Move(20, 20);
    EXPECT_EQ(Button(10).CurrentFace(), FaceState::Hover);
    EXPECT_EQ(PresentedPixel(12, 12), 0x00FF00u);
    Down(20, 20);
    EXPECT_EQ(Button(10).CurrentFace(), FaceState::Pressed);
    EXPECT_EQ(PresentedPixel(12, 12), 0xFF0000u);
    Up(20, 20);
    EXPECT_EQ(m_clicks, std::vector<UINT> { 10 });

    // Pressed inside, dragged out, released outside: no click, and no press face outside.
    Down(20, 20);
    Move(100, 100);
    EXPECT_EQ(Button(10).CurrentFace(), FaceState::Normal);
    Up(100, 100);
    EXPECT_EQ(m_clicks.size(), 1u);

    Move(200, 120);
    EXPECT_EQ(Button(10).CurrentFace(), FaceState::Normal);
}

TEST_F(CanvasTest, HiddenAndDisabledButtonsIgnoreInput)
{
    Click(160, 20); // 12 is hidden
    Click(210, 20); // 13 is disabled
    m_window->fnEnableBtn(10, false);
    Click(20, 20);
    EXPECT_TRUE(m_clicks.empty());
    EXPECT_EQ(Button(10).CurrentFace(), FaceState::Disabled);
    EXPECT_EQ(PresentedPixel(12, 12), 0x808080u);

    m_window->fnEnableBtn(10, true);
    m_window->fnShowBtn(12, true, true);
    Click(20, 20);
    Click(160, 20);
    EXPECT_EQ(m_clicks, (std::vector<UINT> { 10, 12 }));
}

TEST_F(CanvasTest, DropListAnswersComboBoxMessagesWithWin32Results)
{
    CWnd& list = List();
    EXPECT_EQ(list.SendMessage(CB_GETCOUNT), 0);
    EXPECT_EQ(list.SendMessage(CB_GETCURSEL), CB_ERR);
    EXPECT_EQ(list.SendMessage(CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(L"E (1906 MBytes)")), 0);
    EXPECT_EQ(list.SendMessage(CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(L"F (7600 MBytes)")), 1);
    EXPECT_EQ(list.SendMessage(CB_GETCOUNT), 2);
    EXPECT_EQ(list.SendMessage(CB_SETCURSEL, 1), 1);
    EXPECT_EQ(list.SendMessage(CB_GETCURSEL), 1);
    EXPECT_EQ(list.SendMessage(CB_GETLBTEXTLEN, 1), 15);
    wchar_t text[32] = {};
    EXPECT_EQ(list.SendMessage(CB_GETLBTEXT, 1, reinterpret_cast<LPARAM>(text)), 15);
    EXPECT_STREQ(text, L"F (7600 MBytes)");
    EXPECT_EQ(list.SendMessage(CB_GETLBTEXTLEN, 2), CB_ERR);

    // An index out of range clears the selection and says so.
    EXPECT_EQ(list.SendMessage(CB_SETCURSEL, 5), CB_ERR);
    EXPECT_EQ(list.SendMessage(CB_GETCURSEL), CB_ERR);

    list.SendMessage(CB_SETCURSEL, 0);
    EXPECT_EQ(list.SendMessage(CB_RESETCONTENT), 0);
    EXPECT_EQ(list.SendMessage(CB_GETCOUNT), 0);
    EXPECT_EQ(list.SendMessage(CB_GETCURSEL), CB_ERR);
    EXPECT_EQ(list.SendMessage(CB_SETCURSEL, 0), CB_ERR);
    list.SendMessage(CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(L"G (100 MBytes)"));
    EXPECT_EQ(list.SendMessage(CB_SETCURSEL, 0), 0);
    EXPECT_EQ(list.SendMessage(CB_GETCURSEL), 0);
}

TEST_F(CanvasTest, DropListOpensPicksAndClosesWithMouseAndKeys)
{
    CWnd& list = List();
    for (const wchar_t* item : { L"E", L"F", L"G" })
        list.SendMessage(CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item));

    Click(60, 60);
    ASSERT_TRUE(List().IsOpen());
    // The open list hangs below the box: rows of 16 pixels from y = 70 on.
    Move(40, 72 + 16 + 8);
    Click(40, 72 + 16 + 8);
    EXPECT_FALSE(List().IsOpen());
    EXPECT_EQ(list.SendMessage(CB_GETCURSEL), 1);

    // A click elsewhere closes it without a change, and reaches nothing below it.
    Click(60, 60);
    ASSERT_TRUE(List().IsOpen());
    Click(20, 20);
    EXPECT_FALSE(List().IsOpen());
    EXPECT_EQ(list.SendMessage(CB_GETCURSEL), 1);
    EXPECT_TRUE(m_clicks.empty());

    Click(60, 60);
    Key(VK_DOWN);
    Key(VK_RETURN);
    EXPECT_FALSE(List().IsOpen());
    EXPECT_EQ(list.SendMessage(CB_GETCURSEL), 2);

    Click(60, 60);
    Key(VK_UP);
    Key(VK_ESCAPE);
    EXPECT_FALSE(List().IsOpen());
    EXPECT_EQ(list.SendMessage(CB_GETCURSEL), 2);

    list.EnableWindow(false);
    Click(60, 60);
    EXPECT_FALSE(List().IsOpen());
}

TEST_F(CanvasTest, ProgressBarClampsToItsRange)
{
    CWnd& bar = *m_window->fnGetDlgItem(2002);
    bar.SendMessage(PBM_SETRANGE, 0, MAKELPARAM(0, 150));
    EXPECT_EQ(bar.SendMessage(PBM_SETPOS, 75), 0);
    EXPECT_EQ(bar.SendMessage(PBM_SETPOS, 400), 75);
    EXPECT_EQ(bar.SendMessage(PBM_GETPOS), 150);
    bar.SendMessage(PBM_SETPOS, static_cast<WPARAM>(-5));
    EXPECT_EQ(bar.SendMessage(PBM_GETPOS), 0);

    bar.SendMessage(PBM_SETPOS, 75);
    m_window->UpdateWindow();
    EXPECT_EQ(PresentedPixel(12, 145), 0xFFFFFFu);  // done part
    EXPECT_EQ(PresentedPixel(105, 145), 0x000000u); // still to do
    // The program's colour paints the done part; the track stays the skin's.
    EXPECT_EQ(bar.SendMessage(PBM_SETBKCOLOR, 0, 0x0000FF), static_cast<LRESULT>(0xFF000000)); // COLORREF red
    m_window->UpdateWindow();
    EXPECT_EQ(PresentedPixel(12, 145), 0xFF0000u);
    EXPECT_EQ(PresentedPixel(105, 145), 0x000000u);
    EXPECT_EQ(bar.SendMessage(PBM_SETBKCOLOR, 0, 0x00FF00), 0x0000FF);
}

TEST_F(CanvasTest, TabMovesFocusOverVisibleEnabledControlsAndSpaceActivates)
{
    // The window opened with its first control in reading order focused.
    EXPECT_EQ(m_window->FocusedControl(), 10u);
    Key(VK_TAB);
    EXPECT_EQ(m_window->FocusedControl(), 11u);
    Key(VK_TAB); // 12 hidden, 13 disabled
    EXPECT_EQ(m_window->FocusedControl(), 2001u);
    Key(VK_TAB);
    EXPECT_EQ(m_window->FocusedControl(), 10u);
    Key(VK_TAB, true);
    EXPECT_EQ(m_window->FocusedControl(), 2001u);
    Key(VK_SPACE);
    EXPECT_TRUE(List().IsOpen());
    Key(VK_ESCAPE);

    Key(VK_TAB);
    Key(VK_TAB);
    Key(VK_SPACE);
    EXPECT_EQ(m_clicks, std::vector<UINT> { 11 });

    // A focused button that goes away takes the focus with it.
    m_window->fnShowBtn(11, false, true);
    EXPECT_EQ(m_window->FocusedControl(), 0u);
    // Shown again without a focus, the window focuses its first control again.
    m_window->ShowWindow(SW_HIDE);
    m_window->ShowWindow(SW_SHOW);
    EXPECT_EQ(m_window->FocusedControl(), 10u);

    // A static takes the focus only when the program gives it (a text to be heard); Tab goes
    // on from it in reading order (the list and the static share a row).
    EXPECT_TRUE(m_window->fnSetFocus(500));
    Pump();
    EXPECT_TRUE(Node(500).Has(platform::AccessibleState::Focused));
    Key(VK_TAB);
    EXPECT_EQ(m_window->FocusedControl(), 10u);
    m_window->fnSetFocus(500);
    Key(VK_TAB, true);
    EXPECT_EQ(m_window->FocusedControl(), 2001u);
    EXPECT_FALSE(m_window->fnSetFocus(12)); // hidden
}

// Tab follows reading order (top to bottom, then left to right), not IDs; a window with a
// header band opens on its first control below the band.
TEST_F(CanvasTest, FocusFollowsReadingOrderAndSkipsTheHeaderWhenTheWindowOpens)
{
    auto* window = new TestCanvas(m_clicks);
    ASSERT_TRUE(window->LoadFrame(1, 0));
    window->fnParseScript(L"Test.zsp", L"HeaderFrm", 0);
    window->ShowWindow(SW_SHOW);
    EXPECT_EQ(window->FocusedControl(), 20u);
    std::vector<UINT> order;
    for (int i = 0; i < 3; ++i) {
        m_app.Headless().PressKey("HeaderFrm", VK_TAB, false, false, false);
        Pump();
        order.push_back(window->FocusedControl());
    }
    EXPECT_EQ(order, (std::vector<UINT> { 5, 1, 20 }));
    window->DestroyWindow();
}

namespace State = platform::AccessibleState;
using platform::AccessibleEventKind;
using platform::AccessibleRole;

TEST_F(CanvasTest, AccessibleTreeGivesEachControlItsRoleNameStatesPlaceAndValue)
{
    m_window->fnChangeBtnText(10, L"Go");
    CPoint offsets[FaceStateCount] {};
    m_window->fnDrawBtnFace(11, L"Face text", 0xFFFFFF, nullptr, 33, offsets);
    List().SendMessage(CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(L"E (1 GB)"));
    List().SendMessage(CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(L"F (2 GB)"));
    List().SendMessage(CB_SETCURSEL, 1, 0);
    m_window->fnGetDlgItem(2002)->SendMessage(PBM_SETPOS, 40, 0);
    Pump();

    CRect window = m_window->GetWindowRect();
    EXPECT_EQ(Node(0).role, AccessibleRole::Frame);
    EXPECT_TRUE(Node(0).Has(State::Active));
    const platform::AccessibleNode& go = Node(10);
    EXPECT_EQ(go.role, AccessibleRole::PushButton);
    EXPECT_EQ(go.name, L"Go");
    EXPECT_EQ(go.action, platform::AccessibleAction::Press);
    EXPECT_TRUE(go.Has(State::Focusable));
    EXPECT_EQ(go.rect.x, window.left + 10);
    EXPECT_EQ(go.rect.y, window.top + 10);
    EXPECT_EQ(go.rect.width, 60);
    EXPECT_EQ(Node(11).name, L"Face text"); // the text painted on the face, not the empty caption
    EXPECT_TRUE(Node(12).Has(State::Invisible));
    EXPECT_FALSE(Node(12).Has(State::Focusable));
    EXPECT_TRUE(Node(13).Has(State::Unavailable));
    EXPECT_FALSE(Node(13).Has(State::Focusable));

    const platform::AccessibleNode& list = Node(2001);
    EXPECT_EQ(list.role, AccessibleRole::ComboBox);
    EXPECT_EQ(list.name, L"F (2 GB)");
    EXPECT_EQ(list.valueText, L"F (2 GB)");
    EXPECT_TRUE(list.Has(State::Collapsed));
    const platform::AccessibleNode& second = Node(platform::AccessibleItemId(2001, 1));
    EXPECT_EQ(second.role, AccessibleRole::ListItem);
    EXPECT_EQ(second.parent, 2001u);
    EXPECT_TRUE(second.Has(State::Selected));
    EXPECT_TRUE(second.Has(State::Invisible)); // the list is closed
    EXPECT_FALSE(Node(platform::AccessibleItemId(2001, 0)).Has(State::Selected));

    EXPECT_EQ(Node(2002).role, AccessibleRole::ProgressBar);
    EXPECT_EQ(Node(2002).value, 40);
    EXPECT_EQ(Node(2002).valueText, L"40%");
    EXPECT_EQ(Node(500).role, AccessibleRole::Label);
    EXPECT_EQ(Node(500).name, L"T500");
    // The skin's fixed label is read too, and names the window that has no caption.
    const platform::AccessibleTree& tree = m_window->GetAccessibleTree();
    auto title = std::find_if(tree.nodes.begin(), tree.nodes.end(), [](const platform::AccessibleNode& node) {
        return node.role == AccessibleRole::Label && node.name == L"Title";
    });
    ASSERT_NE(title, tree.nodes.end());
    EXPECT_EQ(title->rect.y, window.top + 80);
    EXPECT_EQ(Node(0).name, L"Title");
}

TEST_F(CanvasTest, AccessibilityEventsFollowWhatChanges)
{
    List().SendMessage(CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(L"E"));
    Pump();
    TakeEvents();
    EXPECT_TRUE(Raised(AccessibleEventKind::ChildrenChanged, 2001));

    Key(VK_TAB);
    TakeEvents();
    EXPECT_TRUE(Raised(AccessibleEventKind::Focus, 11));
    EXPECT_FALSE(Raised(AccessibleEventKind::Focus, 10));

    m_window->fnChangeBtnText(11, L"Renamed");
    m_window->fnGetDlgItem(2002)->SendMessage(PBM_SETPOS, 70, 0);
    m_window->fnShowBtn(12, true, false);
    m_window->fnShowStatic(500, false, false);
    Pump();
    TakeEvents();
    EXPECT_TRUE(Raised(AccessibleEventKind::NameChanged, 11));
    EXPECT_TRUE(Raised(AccessibleEventKind::ValueChanged, 2002));
    EXPECT_TRUE(Raised(AccessibleEventKind::Shown, 12));
    EXPECT_TRUE(Raised(AccessibleEventKind::Hidden, 500));
    EXPECT_FALSE(Raised(AccessibleEventKind::NameChanged, 10)); // what did not change says nothing

    // The list opened from the keyboard: expanded, the focus on its chosen item; a choice by
    // the keys is a selection change.
    Key(VK_TAB, true);
    Key(VK_TAB, true); // from the first control round to the last
    ASSERT_EQ(m_window->FocusedControl(), 2001u);
    TakeEvents();
    Key(VK_DOWN);
    TakeEvents();
    EXPECT_TRUE(Raised(AccessibleEventKind::SelectionChanged, 2001));
    Key(VK_F4);
    TakeEvents();
    EXPECT_TRUE(List().IsOpen());
    EXPECT_TRUE(Raised(AccessibleEventKind::StateChanged, 2001));
    EXPECT_TRUE(Raised(AccessibleEventKind::Focus, platform::AccessibleItemId(2001, 0)));
}

// Without a reader the window builds no tree; one that comes is given the tree at once.
TEST_F(CanvasTest, NoTreeIsBuiltUntilAReaderListens)
{
    m_app.Headless().SetReaderListens(false);
    m_window->fnChangeBtnText(10, L"Unread");
    m_window->InvalidateRect(nullptr);
    Pump();
    EXPECT_NE(Node(10).name, L"Unread");
    m_app.Headless().SetReaderListens(true);
    platform::HostInput input;
    input.kind = platform::HostInput::Kind::AccessibilityRequested;
    m_app.Headless().Inject("TestFrm", input);
    Pump();
    EXPECT_EQ(Node(10).name, L"Unread");
}

TEST_F(CanvasTest, AccessibleActionsDriveTheControlsAsTheUserWould)
{
    List().SendMessage(CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(L"E"));
    List().SendMessage(CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(L"F"));
    Action(11);
    Action(12); // hidden
    Action(13); // disabled
    Action(500); // a static has no action
    EXPECT_EQ(m_clicks, std::vector<UINT> { 11 });

    Action(2001);
    EXPECT_TRUE(List().IsOpen());
    Action(platform::AccessibleItemId(2001, 1));
    EXPECT_FALSE(List().IsOpen());
    EXPECT_EQ(List().Selection(), 1);

    // Enter presses the focused button (the first, as the window opened), as on a focused
    // Win32 push button.
    Key(VK_RETURN);
    EXPECT_EQ(m_clicks, (std::vector<UINT> { 11, 10 }));
}

} // namespace
