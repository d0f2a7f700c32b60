#include "platform/disk/PercentSequence.h"

#include <algorithm>

namespace platform {

PercentSequence::PercentSequence(std::function<bool(std::uint32_t percent)> report)
    : m_report(std::move(report))
{
}

bool PercentSequence::UpTo(std::uint32_t percent)
{
    for (percent = std::min<std::uint32_t>(percent, 100); m_next <= percent; ++m_next)
        if (m_report && !m_report(m_next))
            return false;
    return true;
}

} // namespace platform
