#pragma once

#include <cstdint>
#include <functional>

namespace platform {

// Hands out each percentage from 0 to 100 once and in order, however the work jumps: UpTo(40)
// after UpTo(10) reports 11 to 40.
class PercentSequence {
public:
    explicit PercentSequence(std::function<bool(std::uint32_t percent)> report);

    // False as soon as a report answers false.
    bool UpTo(std::uint32_t percent);

private:
    std::function<bool(std::uint32_t)> m_report;
    std::uint32_t m_next = 0;
};

} // namespace platform
