#pragma once

#include "platform/HostAccessibility.h"
#include "platform/linux/atspi/AtspiKeyEvent.h"
#include "platform/linux/atspi/AtspiServer.h"
#include "platform/linux/WakeEvent.h"

#include <atomic>
#include <functional>
#include <future>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace platform::linux::atspi {

class DBusConnection;

// The program's windows on the AT-SPI accessibility bus. Its own thread finds the bus (the
// session bus's org.a11y.Bus, else the address the X root window's AT_SPI_BUS gives),
// registers the application with the registry and answers screen readers from the trees the
// UI thread publishes, which it keeps a copy of. Nothing reaches the bus while accessibility
// is off (org.a11y.Status); the bridge then only waits for it to be turned on.
class AtspiBridge {
public:
    struct Options {
        std::string sessionBusAddress;  // DBUS_SESSION_BUS_ADDRESS, or the user's runtime bus
        std::string rootWindowAddress;  // AT_SPI_BUS of the X root window
    };
    // What the environment says; `rootWindowAddress` as the host read it.
    static Options FromEnvironment(std::string rootWindowAddress);

    // `wake` runs on the bridge's thread when actions wait for TakeActions().
    AtspiBridge(Options options, std::function<void()> wake);
    ~AtspiBridge();
    AtspiBridge(const AtspiBridge&) = delete;
    AtspiBridge& operator=(const AtspiBridge&) = delete;

    // UI thread. `window` is the host's id of the window.
    void Publish(std::uint64_t window, const AccessibleTree& tree, const std::vector<AccessibleEvent>& events);
    void SetShown(std::uint64_t window, bool shown);
    void Remove(std::uint64_t window);
    std::vector<AtspiServer::Action> TakeActions();
    // Whether the application is registered on the accessibility bus: only then does anybody
    // read the trees.
    bool IsRegistered() const { return m_registered.load(); }
    // UI thread: hands a key typed in one of our windows to the screen readers first, as
    // toolkits do; true when one consumed it (the window then drops it). Waits at most
    // `timeoutMs`; while an answer is overdue, keys go straight to the window unasked, so a
    // reader that hangs costs one wait, not one per key.
    bool KeyConsumedByReader(const AtspiKeyEvent& key, int timeoutMs);
    // Whether windows must publish their trees again (the bridge has just registered, and
    // readers will ask for what is on screen); true once per registration.
    bool TakeRepublishRequest() { return m_republish.exchange(false); }

private:
    void Run();
    std::optional<DBusConnection> ConnectAccessibilityBus(const std::function<bool()>& stopping);
    void Serve(DBusConnection& bus);
    void Flush(DBusConnection& bus);
    bool AnswerKeyCall(const DBusMessage& reply);
    void AbandonKeyCalls();

    Options m_options;
    std::function<void()> m_wake;
    linux::WakeEvent m_signal; // stop, or signals to send
    std::atomic<bool> m_stop { false };
    std::atomic<bool> m_registered { false };
    mutable std::mutex m_mutex;
    AtspiServer m_server;                  // under m_mutex
    std::vector<DBusMessage> m_outgoing;   // under m_mutex
    struct KeyCall {
        DBusMessage call;
        std::shared_ptr<std::promise<bool>> consumed;
    };
    std::vector<KeyCall> m_keyCalls;       // under m_mutex: to send
    std::map<std::uint32_t, std::shared_ptr<std::promise<bool>>> m_keyAnswers; // bridge thread: by serial
    std::atomic<bool> m_keyAnswerOverdue { false };
    std::atomic<bool> m_republish { false };
    std::thread m_thread;                  // last: it uses everything above
};

} // namespace platform::linux::atspi
