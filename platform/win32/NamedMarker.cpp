#include "platform/NamedMarker.h"

#include "platform/win32/UniqueHandle.h"

namespace platform {

namespace {

using win32::UniqueHandle;

// A named event that nothing signals or waits on: only its existence counts. CreateEventW opens
// the existing event and says so through GetLastError, so creating and testing are one step.
class EventMarker final : public NamedMarker {
public:
    EventMarker(UniqueHandle event, bool existed)
        : m_event(std::move(event))
        , m_existed(existed)
    {
    }

    bool AlreadyExisted() const override { return m_existed; }

    // Windows needs no help from the holder: a later instance finds the window by its caption
    // and brings it forward itself (BringWindowForward below).
    void ServeBringForward(std::function<void(const std::wstring&)>) override { }

private:
    UniqueHandle m_event;
    bool m_existed;
};

} // namespace

std::unique_ptr<NamedMarker> NamedMarker::Create(const std::wstring& name)
{
    constexpr BOOL kManualReset = TRUE;
    constexpr BOOL kInitiallySignalled = FALSE;
    UniqueHandle event(::CreateEventW(nullptr, kManualReset, kInitiallySignalled, name.c_str()));
    bool existed = event && ::GetLastError() == ERROR_ALREADY_EXISTS;
    return std::make_unique<EventMarker>(std::move(event), existed);
}

bool BringWindowForward(const std::wstring&, const std::wstring& caption)
{
    // Any window class; a hidden window is found too, and is not shown or restored.
    HWND window = ::FindWindowW(nullptr, caption.c_str());
    if (!window)
        return false;
    ::SetForegroundWindow(window);
    return true;
}

} // namespace platform
