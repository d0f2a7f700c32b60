#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace platform {

// What a volume formatter tells while it works.
struct FormatListener {
    // Each percentage 0..100 once, in order; false stops the format.
    std::function<bool(std::uint32_t percent)> progress;
    // Lines for the user: what is made, and why a format failed.
    std::function<void(const std::string& line)> output;
};

} // namespace platform
