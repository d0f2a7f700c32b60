#pragma once

#include "platform/win32/FormatLibrary.h"

#include <string>

namespace platform {

// Calls a FormatEx callback the way the system's format service does: progress percentages,
// text lines and one done report with its success byte.
class FormatReporter {
public:
    explicit FormatReporter(FormatCallback callback) : m_callback(callback) { }

    // False when the callback asks to stop.
    bool Progress(std::uint32_t percent) const;
    void Line(const std::string& line) const;
    void Done(bool success) const;
    // Nothing was written: programs keep the volume, so it can't be locked.
    void CantLock() const;

private:
    FormatCallback m_callback;
};

} // namespace platform
