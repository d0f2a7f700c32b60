#pragma once

// What the X11 host's tests share: a real X server (run under scripts/with-xvfb; skipped without
// DISPLAY), a second connection that observes, and the host's log.
// GoogleTest before Xlib, whose macros (None, Bool) clash with gtest's own names.
#include <gtest/gtest.h>

#include "platform/linux/x11/X11Host.h"
#include "platform/linux/x11/X11Window.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <sstream>
#include <thread>
#include <unistd.h>
#include <vector>

constexpr int FocusOutEventType = FocusOut; // the macro would swallow HostInput::Kind::FocusOut
#undef FocusOut

using namespace platform;
using platform::linux::x11::X11Host;
using platform::linux::x11::X11Window;
using Clock = std::chrono::steady_clock;

struct RecordingListener final : HostWindowListener {
    std::vector<HostInput> inputs;
    void OnHostInput(const HostInput& input) override { inputs.push_back(input); }
};

inline std::string ReadStringProperty(Display* display, Window window, Atom property, Atom* type = nullptr)
{
    Atom actualType = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    std::string value;
    if (XGetWindowProperty(display, window, property, 0, 1024, False, AnyPropertyType, &actualType, &format,
            &count, &after, &data) == Success && data && format == 8)
        value.assign(reinterpret_cast<char*>(data), count);
    if (data)
        XFree(data);
    if (type)
        *type = actualType;
    return value;
}

inline std::vector<long> ReadCardinals(Display* display, Window window, Atom property, Atom type)
{
    Atom actualType = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    std::vector<long> values;
    if (XGetWindowProperty(display, window, property, 0, 64, False, type, &actualType, &format, &count, &after, &data) == Success
        && data && format == 32)
        values.assign(reinterpret_cast<long*>(data), reinterpret_cast<long*>(data) + count);
    if (data)
        XFree(data);
    return values;
}

class X11HostTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!std::getenv("DISPLAY") || !*std::getenv("DISPLAY"))
            GTEST_SKIP() << "no DISPLAY; run under scripts/with-xvfb";
        m_logPath = std::string(ARKEVEN_BINARY_DIR) + "/x11host-" + std::to_string(getpid()) + ".log";
        std::remove(m_logPath.c_str());
        setenv("ARKEVEN_HOST_LOG", m_logPath.c_str(), 1);
        m_host = X11Host::Open();
        unsetenv("ARKEVEN_HOST_LOG");
        if (!m_host) {
            Display* probe = XOpenDisplay(nullptr);
            bool displayOpens = probe != nullptr;
            if (probe)
                XCloseDisplay(probe);
            FAIL() << "X11Host::Open failed on " << std::getenv("DISPLAY") << "; XOpenDisplay alone "
                   << (displayOpens ? "works" : "fails too");
        }
        m_observer = XOpenDisplay(nullptr);
        ASSERT_NE(m_observer, nullptr);
    }

    void TearDown() override
    {
        if (m_observer)
            XCloseDisplay(m_observer);
        std::remove(m_logPath.c_str());
    }

    std::unique_ptr<HostWindow> CreateWindow(RecordingListener& listener, HostWindow* owner = nullptr,
        const char* instance = "MainFrm", HostRect rect = { 100, 80, 320, 200 })
    {
        HostWindowSpec spec;
        spec.caption = L"Varn MID";
        spec.instanceName = instance;
        spec.rect = rect;
        spec.transientFor = owner;
        return m_host->CreateHostWindow(spec, listener);
    }

    // Requests of two connections are not ordered: let the server finish the host's first.
    void SyncHost() { XSync(m_host->GetDisplay(), False); }

    static Window XIdOf(const std::unique_ptr<HostWindow>& window)
    {
        return dynamic_cast<X11Window&>(*window).XId();
    }

    // Runs the host's loop as the framework does until the condition holds (or 3 s pass).
    bool PumpUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout = std::chrono::seconds(10))
    {
        auto deadline = Clock::now() + timeout;
        SyncHost();
        while (!condition()) {
            if (Clock::now() > deadline)
                return false;
            m_host->WaitForInput(20);
            m_host->DispatchPendingInput();
            SyncHost();
        }
        return true;
    }

    bool IsOnScreen(Window window)
    {
        XWindowAttributes attributes {};
        return XGetWindowAttributes(m_observer, window, &attributes) && attributes.map_state == IsViewable;
    }

    unsigned long ReadPixel(Window window, int x, int y)
    {
        XImage* image = XGetImage(m_observer, window, x, y, 1, 1, AllPlanes, ZPixmap);
        if (!image)
            return ~0ul;
        unsigned long pixel = XGetPixel(image, 0, 0);
        XDestroyImage(image);
        const Visual* visual = DefaultVisual(m_observer, DefaultScreen(m_observer));
        // Back to 0xRRGGBB whatever the visual's channel order.
        auto channel = [&](unsigned long mask) {
            unsigned long value = pixel & mask;
            while (mask && !(mask & 1)) {
                mask >>= 1;
                value >>= 1;
            }
            return value;
        };
        return (channel(visual->red_mask) << 16) | (channel(visual->green_mask) << 8) | channel(visual->blue_mask);
    }

    void SendToWindow(Window window, XEvent event, long mask)
    {
        event.xany.window = window;
        event.xany.display = m_observer;
        XSendEvent(m_observer, window, False, mask, &event);
        XFlush(m_observer);
    }

    std::string ReadLog()
    {
        std::ifstream file(m_logPath);
        std::stringstream text;
        text << file.rdbuf();
        return text.str();
    }

    std::string m_logPath;
    std::unique_ptr<X11Host> m_host;
    Display* m_observer = nullptr;
};

