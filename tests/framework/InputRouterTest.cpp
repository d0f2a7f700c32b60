#include "FrameworkTestSupport.h"

#include "framework/CWnd.h"
#include "framework/Messages.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

std::vector<std::string> g_heard;

// Writes down the pointer, key and focus messages it gets, with the point in its own
// coordinates.
class Recorder : public CWnd {
public:
    explicit Recorder(std::string name)
        : m_name(std::move(name))
    {
    }

    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override
    {
        std::string point = " " + std::to_string(GET_X_LPARAM(lParam)) + "," + std::to_string(GET_Y_LPARAM(lParam));
        switch (message) {
        case WM_MOUSEMOVE: g_heard.push_back(m_name + " move" + point); break;
        case WM_LBUTTONDOWN: g_heard.push_back(m_name + " down" + point); break;
        case WM_MOUSELEAVE: g_heard.push_back(m_name + " leave"); break;
        case WM_KEYDOWN: g_heard.push_back(m_name + " key " + std::string(1, static_cast<char>(wParam))); break;
        case WM_SETFOCUS: g_heard.push_back(m_name + " setfocus"); break;
        case WM_KILLFOCUS: g_heard.push_back(m_name + " killfocus"); break;
        default: break;
        }
        return CWnd::WindowProc(message, wParam, lParam);
    }

    // The top-level window keeps 'Y' for itself, as a dialog keeps Escape.
    bool PreTranslateMessage(MSG& msg) override
    {
        if (msg.message != WM_KEYDOWN || !IsTopLevel())
            return false;
        CWnd* target = FromHandle(msg.hwnd);
        g_heard.push_back("pretranslate for " + (target ? static_cast<Recorder*>(target)->m_name : std::string("?")));
        return msg.wParam == 'Y';
    }

private:
    std::string m_name;
};

struct Window {
    Recorder top { "top" };
    Recorder left { "left" };
    Recorder right { "right" };

    explicit Window(const char* instance)
    {
        top.SetInstanceName(instance);
        CREATESTRUCT cs;
        cs.cx = 100;
        cs.cy = 50;
        top.CreateTopLevel(cs, nullptr);
        left.CreateChild(top, 1, { 0, 0, 50, 50 });
        right.CreateChild(top, 2, { 50, 0, 100, 50 });
        top.ShowWindow(SW_SHOW);
        g_heard.clear();
    }
};

void Inject(TestApp& app, const char* instance, platform::HostInput::Kind kind, int x = 0, int y = 0, UINT key = 0)
{
    platform::HostInput input;
    input.kind = kind;
    input.x = x;
    input.y = y;
    input.key = key;
    app.Headless().Inject(instance, input);
    while (app.PumpPending()) { }
}

using Kind = platform::HostInput::Kind;

TEST(InputRouter, PointerGoesToTheWindowUnderItOrToTheCaptureHolderWhichLosesItWhenDisabledOrGone)
{
    TestApp app;
    Window window("Pointer");

    Inject(app, "Pointer", Kind::MouseMove, 10, 20);
    Inject(app, "Pointer", Kind::MouseMove, 60, 20);
    EXPECT_EQ(g_heard, (std::vector<std::string> { "left move 10,20", "left leave", "right move 10,20" }));

    // The capture holds the pointer outside the holder, in the holder's coordinates.
    g_heard.clear();
    window.left.SetCapture();
    Inject(app, "Pointer", Kind::MouseDown, 70, 5);
    EXPECT_EQ(g_heard, (std::vector<std::string> { "left down 70,5" }));

    window.left.EnableWindow(false);
    EXPECT_EQ(CWnd::GetCapture(), nullptr);
    window.right.SetCapture();
    window.right.DestroyWindow();
    EXPECT_EQ(CWnd::GetCapture(), nullptr);

    // Neither the disabled window nor the gone one gets the pointer: the top-level does.
    g_heard.clear();
    Inject(app, "Pointer", Kind::MouseDown, 10, 5);
    Inject(app, "Pointer", Kind::MouseDown, 60, 5);
    EXPECT_EQ(g_heard, (std::vector<std::string> { "top down 10,5", "top down 60,5" }));
}

TEST(InputRouter, KeysGoToTheFocusedWindowOnceTheTopLevelHasLetThemPass)
{
    TestApp app;
    Window window("Keys");

    window.right.SetFocus();
    window.left.SetFocus();
    EXPECT_EQ(window.top.GetFocusChild(), &window.left);
    Inject(app, "Keys", Kind::KeyDown, 0, 0, 'X');
    Inject(app, "Keys", Kind::KeyDown, 0, 0, 'Y');
    EXPECT_EQ(g_heard, (std::vector<std::string> { "right setfocus", "right killfocus", "left setfocus",
                           "pretranslate for left", "left key X", "pretranslate for left" }));

    // The focused window goes: keys go to the top-level window.
    g_heard.clear();
    window.left.DestroyWindow();
    EXPECT_EQ(window.top.GetFocusChild(), nullptr);
    Inject(app, "Keys", Kind::KeyDown, 0, 0, 'X');
    EXPECT_EQ(g_heard, (std::vector<std::string> { "pretranslate for top", "top key X" }));
}

} // namespace
