#pragma once

#include <functional>
#include <memory>
#include <string>

namespace platform {

// A named marker that exists while at least one process holds it: a named event on Windows, an
// abstract socket on Linux. Creating it tells in the same step whether it existed already, so
// two instances starting together cannot both miss each other.
class NamedMarker {
public:
    static std::unique_ptr<NamedMarker> Create(const std::wstring& name);
    virtual ~NamedMarker() = default;

    virtual bool AlreadyExisted() const = 0;
    // The holder answers later instances' requests to bring a window forward. The handler runs
    // on a platform thread and must not block on the UI thread.
    virtual void ServeBringForward(std::function<void(const std::wstring& caption)> handler) = 0;
};

// FindWindowW + SetForegroundWindow for the holder of the marker: asks it to bring its top-level
// window with exactly this caption forward. False when nobody answered.
bool BringWindowForward(const std::wstring& markerName, const std::wstring& caption);

} // namespace platform
