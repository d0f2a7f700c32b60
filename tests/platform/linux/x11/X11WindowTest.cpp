// One X11 window: its properties, showing and moving, presenting, input, iconify and raise.
#include "X11HostTestSupport.h"

namespace {

TEST_F(X11HostTest, WindowCarriesClassCaptionPidFixedSizeAndOwner)
{
    RecordingListener listener;
    auto main = CreateWindow(listener);
    auto dialog = CreateWindow(listener, main.get(), "AppFrm");
    Window id = XIdOf(main);
    SyncHost();

    XClassHint classHint {};
    ASSERT_TRUE(XGetClassHint(m_observer, id, &classHint));
    EXPECT_STREQ(classHint.res_name, "MainFrm");
    EXPECT_STREQ(classHint.res_class, "arkeven");
    XFree(classHint.res_name);
    XFree(classHint.res_class);

    Atom utf8 = XInternAtom(m_observer, "UTF8_STRING", False);
    Atom type = None;
    EXPECT_EQ(ReadStringProperty(m_observer, id, XInternAtom(m_observer, "_NET_WM_NAME", False), &type), "Varn MID");
    EXPECT_EQ(type, utf8);
    EXPECT_EQ(ReadStringProperty(m_observer, id, XA_WM_NAME, &type), "Varn MID");
    EXPECT_EQ(type, XA_STRING);

    auto pid = ReadCardinals(m_observer, id, XInternAtom(m_observer, "_NET_WM_PID", False), XA_CARDINAL);
    ASSERT_EQ(pid.size(), 1u);
    EXPECT_EQ(pid[0], getpid());

    XSizeHints hints {};
    long supplied = 0;
    ASSERT_TRUE(XGetWMNormalHints(m_observer, id, &hints, &supplied));
    EXPECT_TRUE(hints.flags & USPosition);
    EXPECT_EQ(hints.min_width, 320);
    EXPECT_EQ(hints.max_width, 320);
    EXPECT_EQ(hints.min_height, 200);
    EXPECT_EQ(hints.max_height, 200);

    Atom* protocols = nullptr;
    int protocolCount = 0;
    ASSERT_TRUE(XGetWMProtocols(m_observer, id, &protocols, &protocolCount));
    std::vector<Atom> protocolList(protocols, protocols + protocolCount);
    XFree(protocols);
    EXPECT_NE(std::find(protocolList.begin(), protocolList.end(), XInternAtom(m_observer, "WM_DELETE_WINDOW", False)),
        protocolList.end());

    Window owner = 0;
    EXPECT_FALSE(XGetTransientForHint(m_observer, id, &owner));
    ASSERT_TRUE(XGetTransientForHint(m_observer, XIdOf(dialog), &owner));
    EXPECT_EQ(owner, id);

    // Beyond Latin-1 both names carry UTF-8.
    main->SetCaption(L"Caf\u00e9 \u2713");
    SyncHost();
    EXPECT_EQ(ReadStringProperty(m_observer, id, XInternAtom(m_observer, "_NET_WM_NAME", False)), "Caf\xc3\xa9 \xe2\x9c\x93");
    EXPECT_EQ(ReadStringProperty(m_observer, id, XA_WM_NAME, &type), "Caf\xc3\xa9 \xe2\x9c\x93");
    EXPECT_EQ(type, utf8);
}

TEST_F(X11HostTest, ShowMapsAtRequestedPositionMovesResizesAndHides)
{
    RecordingListener listener;
    auto window = CreateWindow(listener);
    Window id = XIdOf(window);
    SyncHost();
    EXPECT_FALSE(IsOnScreen(id));

    window->Show(ShowState::Normal);
    ASSERT_TRUE(PumpUntil([&] { return IsOnScreen(id); }));
    auto rootPosition = [&] {
        int x = 0, y = 0;
        Window child;
        XTranslateCoordinates(m_observer, id, DefaultRootWindow(m_observer), 0, 0, &x, &y, &child);
        return std::make_pair(x, y);
    };
    EXPECT_EQ(rootPosition(), std::make_pair(100, 80));

    window->Move(150, 90);
    EXPECT_TRUE(PumpUntil([&] { return rootPosition() == std::make_pair(150, 90); }));

    window->Resize(200, 120);
    auto size = [&] {
        XWindowAttributes attributes {};
        XGetWindowAttributes(m_observer, id, &attributes);
        return std::make_pair(attributes.width, attributes.height);
    };
    EXPECT_TRUE(PumpUntil([&] { return size() == std::make_pair(200, 120); }));
    XSizeHints hints {};
    long supplied = 0;
    ASSERT_TRUE(XGetWMNormalHints(m_observer, id, &hints, &supplied));
    EXPECT_EQ(hints.max_width, 200);
    EXPECT_EQ(hints.min_height, 120);

    window->Show(ShowState::Hidden);
    EXPECT_TRUE(PumpUntil([&] { return !IsOnScreen(id); }));
    window->Show(ShowState::Normal); // and back after hiding
    EXPECT_TRUE(PumpUntil([&] { return IsOnScreen(id); }));
}

TEST_F(X11HostTest, PresentCopiesOnlyTheDirtyRectangleAndExposeRepaints)
{
    RecordingListener listener;
    // Read-back sees whatever is on top: keep clear of the other tests' windows.
    auto window = CreateWindow(listener, nullptr, "MainFrm", { 480, 300, 320, 200 });
    Window id = XIdOf(window);
    window->Show(ShowState::Normal);
    ASSERT_TRUE(PumpUntil([&] { return IsOnScreen(id); }));

    std::vector<std::uint32_t> red(320 * 200, 0xFFC01020u);
    window->Present({ red.data(), 320, 200, 320 }, { 0, 0, 320, 200 });
    std::vector<std::uint32_t> blue(320 * 200, 0xFF1030C0u);
    window->Present({ blue.data(), 320, 200, 320 }, { 10, 10, 20, 20 });
    SyncHost();
    EXPECT_EQ(ReadPixel(id, 15, 15), 0x1030C0u);
    EXPECT_EQ(ReadPixel(id, 29, 29), 0x1030C0u);
    EXPECT_EQ(ReadPixel(id, 30, 30), 0xC01020u);
    EXPECT_EQ(ReadPixel(id, 5, 5), 0xC01020u);

    // A dirty rectangle reaching past the window is clipped, not written out of bounds.
    window->Present({ blue.data(), 320, 200, 320 }, { 300, 180, 100, 100 });
    SyncHost();
    EXPECT_EQ(ReadPixel(id, 319, 199), 0x1030C0u);

    // Cover the window with another client's window, uncover it: the host repaints by itself.
    XSetWindowAttributes attributes {};
    attributes.override_redirect = True;
    attributes.background_pixel = 0x00FF00;
    Window cover = XCreateWindow(m_observer, DefaultRootWindow(m_observer), 470, 290, 200, 100, 0, CopyFromParent,
        InputOutput, CopyFromParent, CWOverrideRedirect | CWBackPixel, &attributes);
    XMapRaised(m_observer, cover);
    XSync(m_observer, False);
    XDestroyWindow(m_observer, cover);
    XSync(m_observer, False);
    EXPECT_TRUE(PumpUntil([&] { return ReadPixel(id, 15, 15) == 0x1030C0u && ReadPixel(id, 50, 50) == 0xC01020u; }));
    EXPECT_TRUE(std::none_of(listener.inputs.begin(), listener.inputs.end(),
        [](const HostInput& input) { return input.kind == HostInput::Kind::Exposed; }))
        << "expose is handled inside the host";
}

TEST_F(X11HostTest, TranslatesPointerKeysCloseAndFocus)
{
    RecordingListener listener;
    auto window = CreateWindow(listener);
    Window id = XIdOf(window);
    window->Show(ShowState::Normal);
    ASSERT_TRUE(PumpUntil([&] { return IsOnScreen(id); }));

    XEvent event {};
    event.type = ButtonPress;
    event.xbutton.button = Button3; // only the left button counts
    SendToWindow(id, event, ButtonPressMask);
    event.xbutton.button = Button1;
    event.xbutton.x = 12;
    event.xbutton.y = 34;
    event.xbutton.state = ShiftMask;
    SendToWindow(id, event, ButtonPressMask);
    event = {};
    event.type = MotionNotify;
    event.xmotion.x = 40;
    event.xmotion.y = 41;
    SendToWindow(id, event, PointerMotionMask);
    event = {};
    event.type = LeaveNotify;
    event.xcrossing.detail = NotifyAncestor;
    SendToWindow(id, event, LeaveWindowMask);

    auto sendKey = [&](int type, KeySym keysym, unsigned int state) {
        XEvent key {};
        key.type = type;
        key.xkey.keycode = XKeysymToKeycode(m_observer, keysym);
        key.xkey.state = state;
        key.xkey.same_screen = True;
        SendToWindow(id, key, type == KeyPress ? KeyPressMask : KeyReleaseMask);
    };
    sendKey(KeyPress, XK_a, ShiftMask);
    sendKey(KeyPress, XK_Control_L, 0);
    sendKey(KeyRelease, XK_Control_L, ControlMask);
    sendKey(KeyPress, XK_F5, Mod1Mask);
    sendKey(KeyPress, XK_KP_Enter, 0);
    sendKey(KeyPress, XK_Left, 0);
    sendKey(KeyPress, XK_7, 0);

    event = {};
    event.type = FocusOutEventType;
    event.xfocus.mode = NotifyNormal;
    event.xfocus.detail = NotifyNonlinear;
    SendToWindow(id, event, FocusChangeMask);
    event = {};
    event.type = ClientMessage;
    event.xclient.message_type = XInternAtom(m_observer, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(XInternAtom(m_observer, "WM_DELETE_WINDOW", False));
    SendToWindow(id, event, NoEventMask);

    ASSERT_TRUE(PumpUntil([&] { return listener.inputs.size() >= 12; }));
    ASSERT_EQ(listener.inputs.size(), 12u);
    const auto& in = listener.inputs;
    using Kind = HostInput::Kind;
    EXPECT_EQ(in[0].kind, Kind::MouseDown);
    EXPECT_EQ(in[0].x, 12);
    EXPECT_EQ(in[0].y, 34);
    EXPECT_TRUE(in[0].shift);
    EXPECT_EQ(in[1].kind, Kind::MouseMove);
    EXPECT_EQ(in[1].x, 40);
    EXPECT_EQ(in[1].y, 41);
    EXPECT_EQ(in[2].kind, Kind::MouseLeave);

    EXPECT_EQ(in[3].kind, Kind::KeyDown);
    EXPECT_EQ(in[3].key, 0x41u);
    EXPECT_TRUE(in[3].shift);
    EXPECT_EQ(in[4].key, 0x11u);
    EXPECT_TRUE(in[4].ctrl) << "a modifier's own key reports the state after the press";
    EXPECT_EQ(in[5].kind, Kind::KeyUp);
    EXPECT_EQ(in[5].key, 0x11u);
    EXPECT_FALSE(in[5].ctrl) << "and after the release";
    EXPECT_EQ(in[6].key, 0x74u);
    EXPECT_TRUE(in[6].alt);
    EXPECT_FALSE(in[6].ctrl);
    EXPECT_EQ(in[7].key, 0x0Du);
    EXPECT_EQ(in[8].key, 0x25u);
    EXPECT_EQ(in[9].key, 0x37u);

    EXPECT_EQ(in[10].kind, Kind::FocusOut);
    EXPECT_EQ(in[11].kind, Kind::CloseRequest);
}

// Real input through the server (XTest, by xdotool): the window selects the right events.
TEST_F(X11HostTest, RealPointerAndKeyboardInputArrive)
{
    if (std::system("command -v xdotool >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "xdotool not installed";
    RecordingListener listener;
    HostWindowSpec spec;
    spec.caption = L"Real input";
    spec.instanceName = "RealInput";
    spec.rect = { 800, 500, 200, 100 }; // away from the other tests' windows on a shared display
    auto window = m_host->CreateHostWindow(spec, listener);
    Window id = XIdOf(window);
    window->Show(ShowState::Normal);
    ASSERT_TRUE(PumpUntil([&] { return IsOnScreen(id); }));

    using Kind = HostInput::Kind;
    auto has = [&](Kind kind, std::uint32_t key, bool ctrl) {
        return std::any_of(listener.inputs.begin(), listener.inputs.end(), [&](const HostInput& input) {
            return input.kind == kind && input.key == key && input.ctrl == ctrl;
        });
    };
    // Tests running beside this one may take the focus; then raise again and repeat.
    bool typed = false;
    for (int attempt = 0; attempt < 3 && !typed; ++attempt) {
        listener.inputs.clear();
        window->Raise();
        SyncHost();
        ASSERT_EQ(std::system("xdotool mousemove 840 530 click 1 key ctrl+q"), 0);
        typed = PumpUntil([&] { return has(Kind::KeyUp, 0x51, false); }, std::chrono::seconds(1));
    }
    ASSERT_TRUE(typed);
    auto down = std::find_if(listener.inputs.begin(), listener.inputs.end(),
        [](const HostInput& input) { return input.kind == Kind::MouseDown; });
    ASSERT_NE(down, listener.inputs.end());
    EXPECT_EQ(down->x, 40);
    EXPECT_EQ(down->y, 30);
    EXPECT_TRUE(has(Kind::MouseUp, 0, false));
    EXPECT_TRUE(has(Kind::KeyDown, 0x11, true));
    EXPECT_TRUE(has(Kind::KeyDown, 0x51, true));
    EXPECT_TRUE(has(Kind::KeyUp, 0x11, false)); // xdotool lets go of ctrl first
}

// On a bare X server there is no window manager: minimise and raise may only send requests.
TEST_F(X11HostTest, IconifyAndRaiseAreRequestedAndLogged)
{
    Window root = DefaultRootWindow(m_observer);
    XSelectInput(m_observer, root, SubstructureNotifyMask);
    XSync(m_observer, False);
    {
        RecordingListener listener;
        auto window = CreateWindow(listener);
        Window id = XIdOf(window);
        window->Show(ShowState::Normal);
        window->Show(ShowState::Minimised);
        window->Raise();
        window->Move(10, 20);

        Atom changeState = XInternAtom(m_observer, "WM_CHANGE_STATE", False);
        Atom activeWindow = XInternAtom(m_observer, "_NET_ACTIVE_WINDOW", False);
        bool iconifyAsked = false;
        bool activateAsked = false;
        PumpUntil([&] {
            while (XPending(m_observer)) {
                XEvent event;
                XNextEvent(m_observer, &event);
                if (event.type != ClientMessage || event.xclient.window != id)
                    continue;
                if (event.xclient.message_type == changeState && event.xclient.data.l[0] == IconicState)
                    iconifyAsked = true;
                if (event.xclient.message_type == activeWindow)
                    activateAsked = true;
            }
            return iconifyAsked && activateAsked;
        });
        EXPECT_TRUE(iconifyAsked);
        EXPECT_TRUE(activateAsked);
        EXPECT_TRUE(IsOnScreen(id)) << "without a window manager the window simply stays";
    }
    EXPECT_EQ(ReadLog(),
        "create MainFrm 100,80 320x200\n"
        "caption MainFrm Varn MID\n"
        "show MainFrm normal\n"
        "show MainFrm minimised\n"
        "raise MainFrm\n"
        "move MainFrm 10,20\n"
        "destroy MainFrm\n");
}

} // namespace
