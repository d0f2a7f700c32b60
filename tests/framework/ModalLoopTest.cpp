#include "FrameworkTestSupport.h"

#include "framework/CDialog.h"
#include "framework/Messages.h"

#include <gtest/gtest.h>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr UINT WM_TEST_QUERY = WM_APP + 7;

class TestDialog : public CDialog {
public:
    TestDialog(CWnd* parent, std::string name, std::vector<std::string>& log)
        : CDialog(0, parent)
        , m_name(std::move(name))
        , m_log(log)
    {
    }

    bool OnInitDialog() override
    {
        SetInstanceName(m_name);
        m_log.push_back("init " + m_name);
        if (m_failInit) {
            EndDialog(-1);
            return false;
        }
        return true;
    }

    LRESULT OnQuery(WPARAM wParam, LPARAM)
    {
        m_handlerThread = std::this_thread::get_id();
        return static_cast<LRESULT>(wParam) * 2;
    }

    // Command 50 opens a nested dialog and records how it ended.
    void OnOpenChild()
    {
        TestDialog child(this, m_name + ".child", m_log);
        int result = child.DoModal();
        m_log.push_back(m_name + ".child ended " + std::to_string(result));
    }

    bool m_failInit = false;
    std::thread::id m_handlerThread;
    DECLARE_MESSAGE_MAP()

private:
    std::string m_name;
    std::vector<std::string>& m_log;
};

IMPLEMENT_MESSAGE_MAP(TestDialog, CDialog,
    OnMessage(WM_TEST_QUERY, &TestDialog::OnQuery),
    OnBnClicked(50, &TestDialog::OnOpenChild))

bool IsShown(TestApp& app, const std::string& name)
{
    auto state = app.Headless().Find(name);
    return state && state->state == platform::ShowState::Normal;
}

TEST(ModalLoop, NestedDialogsEndInOrderWithTheirResults)
{
    TestApp app;
    std::vector<std::string> log;
    TestDialog outer(nullptr, "Outer", log);
    int outerResult = 0;

    std::thread user([&] {
        ASSERT_TRUE(WaitUntil([&] { return IsShown(app, "Outer"); }));
        outer.PostMessage(WM_COMMAND, MAKEWPARAM(50, BN_CLICKED));
        ASSERT_TRUE(WaitUntil([&] { return IsShown(app, "Outer.child"); }));
        // The outer dialog is disabled under the child: its keys go nowhere.
        app.Headless().PressKey("Outer", VK_ESCAPE);
        app.Headless().PressKey("Outer.child", VK_RETURN); // OnOK -> IDOK
        ASSERT_TRUE(WaitUntil([&] { return !app.Headless().Find("Outer.child"); }));
        app.Headless().PressKey("Outer", VK_ESCAPE); // OnCancel -> IDCANCEL
    });
    outerResult = outer.DoModal();
    user.join();

    EXPECT_EQ(outerResult, IDCANCEL);
    EXPECT_EQ(log, (std::vector<std::string> { "init Outer", "init Outer.child", "Outer.child ended 1" }));
    EXPECT_EQ(outer.GetSafeHwnd(), 0u);
}

TEST(ModalLoop, FailedInitialisationEndsWithMinusOneWithoutShowing)
{
    TestApp app;
    std::vector<std::string> log;
    TestDialog dialog(nullptr, "Broken", log);
    dialog.m_failInit = true;
    EXPECT_EQ(dialog.DoModal(), -1);
    EXPECT_FALSE(app.Headless().Find("Broken"));
    for (auto& request : app.Headless().Requests())
        EXPECT_EQ(request.find("show Broken"), std::string::npos) << request;
}

TEST(ModalLoop, CloseRequestCancelsTheDialog)
{
    TestApp app;
    std::vector<std::string> log;
    TestDialog dialog(nullptr, "Closable", log);
    std::thread user([&] {
        ASSERT_TRUE(WaitUntil([&] { return IsShown(app, "Closable"); }));
        platform::HostInput close;
        close.kind = platform::HostInput::Kind::CloseRequest;
        app.Headless().Inject("Closable", close);
    });
    EXPECT_EQ(dialog.DoModal(), IDCANCEL);
    user.join();
}

TEST(CrossThreadSend, RunsOnTheUiThreadInsideANestedLoopAndReturnsTheResult)
{
    TestApp app;
    std::vector<std::string> log;
    TestDialog outer(nullptr, "Outer", log);
    LRESULT fromWorker = 0;
    LRESULT fromChildWorker = 0;

    std::thread user([&] {
        ASSERT_TRUE(WaitUntil([&] { return IsShown(app, "Outer"); }));
        fromWorker = outer.SendMessage(WM_TEST_QUERY, 21);
        outer.PostMessage(WM_COMMAND, MAKEWPARAM(50, BN_CLICKED));
        ASSERT_TRUE(WaitUntil([&] { return IsShown(app, "Outer.child"); }));
        // Served by the child's nested loop although addressed to the outer dialog.
        fromChildWorker = outer.SendMessage(WM_TEST_QUERY, 5);
        app.Headless().PressKey("Outer.child", VK_ESCAPE);
        ASSERT_TRUE(WaitUntil([&] { return !app.Headless().Find("Outer.child"); }));
        app.Headless().PressKey("Outer", VK_ESCAPE);
    });
    outer.DoModal();
    user.join();

    EXPECT_EQ(fromWorker, 42);
    EXPECT_EQ(fromChildWorker, 10);
    EXPECT_EQ(outer.m_handlerThread, std::this_thread::get_id());
}

TEST(CrossThreadSend, ManyWorkersAtOnceAllGetTheirOwnAnswers)
{
    TestApp app;
    std::vector<std::string> log;
    TestDialog dialog(nullptr, "Busy", log);
    constexpr int kWorkers = 4;
    constexpr int kMessages = 200;
    std::atomic<int> wrong { 0 };
    std::atomic<int> finished { 0 };

    std::thread user([&] {
        ASSERT_TRUE(WaitUntil([&] { return IsShown(app, "Busy"); }));
        std::vector<std::thread> workers;
        for (int w = 0; w < kWorkers; ++w) {
            workers.emplace_back([&, w] {
                for (int i = 0; i < kMessages; ++i) {
                    WPARAM value = static_cast<WPARAM>(w * 1000 + i);
                    if (dialog.SendMessage(WM_TEST_QUERY, value) != static_cast<LRESULT>(value * 2))
                        ++wrong;
                }
                ++finished;
            });
        }
        for (auto& worker : workers)
            worker.join();
        app.Headless().PressKey("Busy", VK_ESCAPE);
    });
    dialog.DoModal();
    user.join();
    EXPECT_EQ(finished, kWorkers);
    EXPECT_EQ(wrong, 0);
}

TEST(CrossThreadSend, ToAWindowThatIsGoneReturnsZero)
{
    TestApp app;
    CWnd window;
    CREATESTRUCT cs;
    ASSERT_TRUE(window.CreateTopLevel(cs, nullptr));
    window.DestroyWindow();
    LRESULT result = 1;
    std::thread worker([&] { result = window.SendMessage(WM_TEST_QUERY, 3); });
    worker.join();
    EXPECT_EQ(result, 0);
}

} // namespace
