// The X11 host as a whole: waiting for input, the screen it reports, the scale it draws at.
#include "X11HostTestSupport.h"

namespace {

TEST_F(X11HostTest, WaitForInputReturnsOnWakeOnEventsAndOnTimeout)
{
    auto elapsedMs = [](Clock::time_point start) {
        return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
    };
    auto start = Clock::now();
    m_host->WaitForInput(150);
    EXPECT_GE(elapsedMs(start), 140);

    m_host->Wake(); // a wake before the wait is not lost
    start = Clock::now();
    m_host->WaitForInput(5000);
    EXPECT_LT(elapsedMs(start), 1000);

    std::thread waker([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        m_host->Wake();
    });
    start = Clock::now();
    m_host->WaitForInput(-1);
    waker.join();
    EXPECT_LT(elapsedMs(start), 2000);

    RecordingListener listener;
    auto window = CreateWindow(listener);
    SyncHost();
    m_host->DispatchPendingInput();
    XEvent event {};
    event.type = ClientMessage;
    event.xclient.message_type = XInternAtom(m_observer, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(XInternAtom(m_observer, "WM_DELETE_WINDOW", False));
    SendToWindow(XIdOf(window), event, NoEventMask);
    start = Clock::now();
    m_host->WaitForInput(5000);
    EXPECT_LT(elapsedMs(start), 1000);
    EXPECT_TRUE(m_host->DispatchPendingInput());
    ASSERT_EQ(listener.inputs.size(), 1u);
    EXPECT_EQ(listener.inputs[0].kind, HostInput::Kind::CloseRequest);
}

TEST_F(X11HostTest, ScreenSizeFollowsTheWorkAreaWhenAWindowManagerPublishesOne)
{
    int screen = DefaultScreen(m_observer);
    Window root = DefaultRootWindow(m_observer);
    Atom workArea = XInternAtom(m_observer, "_NET_WORKAREA", False);
    XDeleteProperty(m_observer, root, workArea);
    XSync(m_observer, False);
    EXPECT_EQ(m_host->ScreenWidth(), DisplayWidth(m_observer, screen));
    EXPECT_EQ(m_host->ScreenHeight(), DisplayHeight(m_observer, screen));

    long area[4] = { 0, 24, 1000, 700 };
    XChangeProperty(m_observer, root, workArea, XA_CARDINAL, 32, PropModeReplace,
        reinterpret_cast<unsigned char*>(area), 4);
    XSync(m_observer, False);
    EXPECT_EQ(m_host->ScreenWidth(), 1000);
    EXPECT_EQ(m_host->ScreenHeight(), 700);
    XDeleteProperty(m_observer, root, workArea);
    XSync(m_observer, False);
}

// The scale: the desktop's Xft.dpi on the root window (96 is 1), GTK's GDK_SCALE over it, and
// ARKEVEN_SCALE over both; a bad value is passed over.
TEST_F(X11HostTest, WindowScaleFollowsXftDpiUnderTheOverrides)
{
    EXPECT_EQ(X11Host::XftDpi("Xft.antialias:\t1\nXft.dpi:\t144\nXft.hinting:\t1\n"), 144.0);
    EXPECT_EQ(X11Host::XftDpi("  Xft.dpi : 96.5"), 96.5);
    EXPECT_EQ(X11Host::XftDpi("Xft.dpi.extra:\t192\n*dpi:\t192\n"), std::nullopt);

    Window root = DefaultRootWindow(m_observer);
    auto setResources = [&](const std::string& resources) {
        XChangeProperty(m_observer, root, XA_RESOURCE_MANAGER, XA_STRING, 8, PropModeReplace,
            reinterpret_cast<const unsigned char*>(resources.data()), static_cast<int>(resources.size()));
        XSync(m_observer, False);
    };
    unsetenv("ARKEVEN_SCALE");
    unsetenv("GDK_SCALE");
    setResources("Xft.dpi:\t144\n");
    EXPECT_EQ(m_host->WindowScale(), 1.5);
    setResources("Xft.dpi:\t72\n");
    EXPECT_EQ(m_host->WindowScale(), 1.0) << "never below the skin's own size";
    setenv("GDK_SCALE", "2", 1);
    EXPECT_EQ(m_host->WindowScale(), 2.0);
    setenv("ARKEVEN_SCALE", "1.25", 1);
    EXPECT_EQ(m_host->WindowScale(), 1.25);
    setenv("ARKEVEN_SCALE", "1,5", 1);
    EXPECT_EQ(m_host->WindowScale(), 2.0) << "a bad ARKEVEN_SCALE leaves the desktop's";
    unsetenv("ARKEVEN_SCALE");
    unsetenv("GDK_SCALE");
    XDeleteProperty(m_observer, root, XA_RESOURCE_MANAGER);
    XSync(m_observer, False);
    EXPECT_EQ(m_host->WindowScale(), 1.0);
}

} // namespace
