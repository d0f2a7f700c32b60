#include "platform/host/HeadlessHost.h"

#include "platform/host/DisplayScale.h"
#include "platform/HostAccessibility.h"
#include "platform/png/PngFile.h"
#include "platform/files/Utf8.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <utility>

namespace platform {

class HeadlessHost::Window final : public HostWindow {
public:
    Window(HeadlessHost& host, int id)
        : m_host(host)
        , m_id(id)
    {
    }

    ~Window() override
    {
        std::string name;
        {
            std::lock_guard lock(m_host.m_mutex);
            auto& record = m_host.m_windows[m_id];
            record.state.alive = false;
            record.listener = nullptr;
            name = record.state.instanceName;
        }
        m_host.Record("destroy", name);
    }

    void SetCaption(const std::wstring& caption) override
    {
        std::string name = Update([&](WindowState& state) { state.caption = caption; });
        m_host.Record("caption", name, ToUtf8(caption));
    }

    void Move(int x, int y) override
    {
        std::string name = Update([&](WindowState& state) {
            state.rect.x = x;
            state.rect.y = y;
        });
        m_host.Record("move", name, HostLog::Position(x, y));
    }

    void Resize(int width, int height) override
    {
        std::string name = Update([&](WindowState& state) {
            state.rect.width = width;
            state.rect.height = height;
        });
        std::lock_guard lock(m_host.m_mutex);
        m_host.m_windows[m_id].pixels.assign(static_cast<size_t>(width) * height, 0xFF000000);
    }

    void Show(ShowState showState) override
    {
        std::string name = Update([&](WindowState& state) { state.state = showState; });
        m_host.Record("show", name, HostLog::ShowStateName(showState));
    }

    bool WantsAccessibility() const override { return m_host.m_readerListens; }
    void PublishAccessibility(const AccessibleTree&, const std::vector<AccessibleEvent>& events) override
    {
        std::lock_guard lock(m_host.m_mutex);
        auto& record = m_host.m_windows[m_id];
        record.accessibleEvents.insert(record.accessibleEvents.end(), events.begin(), events.end());
    }

    void Raise() override
    {
        std::string name = Update([&](WindowState& state) { ++state.raiseCount; });
        m_host.Record("raise", name);
    }

    void Present(const PixelView& frame, const HostRect& dirty) override
    {
        bool first = false;
        {
            std::lock_guard lock(m_host.m_mutex);
            auto& record = m_host.m_windows[m_id];
            auto& rect = record.state.rect;
            if (rect.width != frame.width || rect.height != frame.height) {
                rect.width = frame.width;
                rect.height = frame.height;
                record.pixels.assign(static_cast<size_t>(frame.width) * frame.height, 0xFF000000);
            }
            // Clipped once, then copied a row at a time: this runs for every progress step.
            int left = std::max(dirty.x, 0);
            int right = std::min(dirty.x + dirty.width, frame.width);
            int top = std::max(dirty.y, 0);
            int bottom = std::min(dirty.y + dirty.height, frame.height);
            for (int y = top; y < bottom && left < right; ++y) {
                const auto* source = frame.pixels + static_cast<size_t>(y) * frame.stride;
                std::copy(source + left, source + right, record.pixels.begin() + static_cast<std::ptrdiff_t>(y) * frame.width + left);
            }
            first = record.state.presentCount++ == 0;
        }
        if (first && m_host.m_exitOnFirstPresent)
            std::_Exit(0); // benchmark mode: the first frame is the measurement's end
    }

private:
    template<typename Change>
    std::string Update(Change change)
    {
        std::lock_guard lock(m_host.m_mutex);
        auto& state = m_host.m_windows[m_id].state;
        change(state);
        return state.instanceName;
    }

    HeadlessHost& m_host;
    int m_id;
};

HeadlessHost::HeadlessHost(int screenWidth, int screenHeight)
    : m_screenWidth(screenWidth)
    , m_screenHeight(screenHeight)
    , m_scale(ScaleFromEnvironment().value_or(1.0))
    , m_log(HostLog::FromEnvironment())
{
    const char* exitOnPresent = std::getenv("ARKEVEN_EXIT_ON_FIRST_PRESENT");
    m_exitOnFirstPresent = exitOnPresent && *exitOnPresent == '1';
    if (const char* script = std::getenv("ARKEVEN_HEADLESS_SCRIPT"); script && *script)
        m_script = std::make_unique<HeadlessScript>(*this, script);
}

HeadlessHost::~HeadlessHost()
{
    m_script.reset();
}

double HeadlessHost::WindowScale() const
{
    return m_scale;
}

void HeadlessHost::SetWindowScale(double scale)
{
    m_scale = scale;
}

int HeadlessHost::ScreenWidth() const
{
    return static_cast<int>(std::lround(m_screenWidth * m_scale));
}

int HeadlessHost::ScreenHeight() const
{
    return static_cast<int>(std::lround(m_screenHeight * m_scale));
}

bool HeadlessHost::ChangeScale(const std::string& instanceName, double scale)
{
    std::lock_guard lock(m_mutex);
    WindowRecord* record = FindRecord(instanceName);
    if (!record)
        return false;
    const HostRect& rect = record->state.rect;
    HostInput input;
    input.kind = HostInput::Kind::ScaleChanged;
    input.scale = scale;
    double factor = scale / record->scale;
    input.rect = { rect.x, rect.y, static_cast<int>(std::lround(rect.width * factor)), static_cast<int>(std::lround(rect.height * factor)) };
    record->scale = scale;
    QueueInput(*record, input);
    return true;
}

void HeadlessHost::Record(const char* verb, const std::string& instanceName, const std::string& argument)
{
    {
        std::lock_guard lock(m_mutex);
        m_requests.push_back(std::string(verb) + " " + instanceName + (argument.empty() ? "" : " " + argument));
    }
    m_log.Write(verb, instanceName, argument);
}

std::unique_ptr<HostWindow> HeadlessHost::CreateHostWindow(const HostWindowSpec& spec, HostWindowListener& listener)
{
    int id;
    {
        std::lock_guard lock(m_mutex);
        id = m_nextId++;
        WindowRecord& record = m_windows[id];
        record.state.id = id;
        record.state.instanceName = spec.instanceName;
        record.state.caption = spec.caption;
        record.state.rect = spec.rect;
        record.state.hasOwner = spec.transientFor != nullptr;
        record.scale = spec.scale;
        record.listener = &listener;
        record.pixels.assign(static_cast<size_t>(std::max(spec.rect.width, 0)) * std::max(spec.rect.height, 0), 0xFF000000);
    }
    Record("create", spec.instanceName,
        HostLog::Position(spec.rect.x, spec.rect.y) + " " + HostLog::Size(spec.rect.width, spec.rect.height));
    return std::make_unique<Window>(*this, id);
}

bool HeadlessHost::DispatchPendingInput()
{
    // One event at a time: the listener may run a nested loop that comes back here.
    HostWindowListener* listener = nullptr;
    HostInput input;
    {
        std::lock_guard lock(m_mutex);
        while (!m_input.empty() && !listener) {
            auto [id, next] = m_input.front();
            m_input.pop_front();
            auto it = m_windows.find(id);
            if (it == m_windows.end() || !it->second.listener)
                continue;
            listener = it->second.listener;
            input = next;
        }
    }
    if (!listener)
        return false;
    listener->OnHostInput(input);
    return true;
}

void HeadlessHost::WaitForInput(int timeoutMs)
{
    std::unique_lock lock(m_mutex);
    auto ready = [this] { return m_woken || !m_input.empty(); };
    if (timeoutMs < 0)
        m_wakeup.wait(lock, ready);
    else
        m_wakeup.wait_for(lock, std::chrono::milliseconds(timeoutMs), ready);
    m_woken = false;
}

void HeadlessHost::Wake()
{
    std::lock_guard lock(m_mutex);
    m_woken = true;
    m_wakeup.notify_all();
}

std::vector<HeadlessHost::WindowState> HeadlessHost::Windows() const
{
    std::lock_guard lock(m_mutex);
    std::vector<WindowState> states;
    for (auto& [id, record] : m_windows)
        states.push_back(record.state);
    return states;
}

HeadlessHost::WindowRecord* HeadlessHost::FindRecord(const std::string& instanceName)
{
    for (auto it = m_windows.rbegin(); it != m_windows.rend(); ++it) {
        if (it->second.state.alive && it->second.state.instanceName == instanceName)
            return &it->second;
    }
    return nullptr;
}

const HeadlessHost::WindowRecord* HeadlessHost::FindRecord(const std::string& instanceName) const
{
    return const_cast<HeadlessHost*>(this)->FindRecord(instanceName);
}

std::optional<HeadlessHost::WindowState> HeadlessHost::Find(const std::string& instanceName) const
{
    std::lock_guard lock(m_mutex);
    if (const WindowRecord* record = FindRecord(instanceName))
        return record->state;
    return std::nullopt;
}

std::vector<AccessibleEvent> HeadlessHost::TakeAccessibleEvents(const std::string& instanceName)
{
    std::lock_guard lock(m_mutex);
    WindowRecord* record = FindRecord(instanceName);
    return record ? std::exchange(record->accessibleEvents, {}) : std::vector<AccessibleEvent> {};
}

bool HeadlessHost::Inject(const std::string& instanceName, const HostInput& input)
{
    {
        std::lock_guard lock(m_mutex);
        WindowRecord* record = FindRecord(instanceName);
        if (!record)
            return false;
        QueueInput(*record, input);
    }
    return true;
}

bool HeadlessHost::Click(const std::string& instanceName, int x, int y)
{
    HostInput input;
    input.x = x;
    input.y = y;
    input.kind = HostInput::Kind::MouseMove;
    bool ok = Inject(instanceName, input);
    input.kind = HostInput::Kind::MouseDown;
    ok = ok && Inject(instanceName, input);
    input.kind = HostInput::Kind::MouseUp;
    return ok && Inject(instanceName, input);
}

bool HeadlessHost::PressKey(const std::string& instanceName, std::uint32_t key, bool ctrl, bool alt, bool shift)
{
    HostInput input;
    input.kind = HostInput::Kind::KeyDown;
    input.key = key;
    input.ctrl = ctrl;
    input.alt = alt;
    input.shift = shift;
    bool ok = Inject(instanceName, input);
    input.kind = HostInput::Kind::KeyUp;
    return ok && Inject(instanceName, input);
}

bool HeadlessHost::Restore(const std::string& instanceName)
{
    std::lock_guard lock(m_mutex);
    WindowRecord* record = FindRecord(instanceName);
    if (!record || record->state.state != ShowState::Minimised)
        return false;
    record->state.state = ShowState::Normal;
    HostInput input;
    input.kind = HostInput::Kind::Restored;
    QueueInput(*record, input);
    return true;
}

void HeadlessHost::QueueInput(const WindowRecord& record, const HostInput& input)
{
    m_input.emplace_back(record.state.id, input);
    m_wakeup.notify_all();
}

bool HeadlessHost::CopyFrame(const std::string& instanceName, std::vector<std::uint32_t>& pixels, int& width, int& height) const
{
    std::lock_guard lock(m_mutex);
    const WindowRecord* record = FindRecord(instanceName);
    if (!record)
        return false;
    pixels = record->pixels;
    width = record->state.rect.width;
    height = record->state.rect.height;
    return true;
}

bool HeadlessHost::SavePng(const std::string& instanceName, const std::string& path) const
{
    std::vector<std::uint32_t> pixels;
    int width = 0;
    int height = 0;
    if (!CopyFrame(instanceName, pixels, width, height) || width <= 0 || height <= 0)
        return false;
    return WritePng(path, pixels.data(), width, height, width);
}

std::vector<std::string> HeadlessHost::Requests() const
{
    std::lock_guard lock(m_mutex);
    return m_requests;
}

} // namespace platform
