#include "platform/disk/AlignedBuffer.h"

#include <cstdint>

namespace platform {

AlignedBuffer::AlignedBuffer(std::size_t size)
    : m_storage(size + kAlignment)
    , m_size(size)
{
    auto address = reinterpret_cast<std::uintptr_t>(m_storage.data());
    m_data = m_storage.data() + (kAlignment - address % kAlignment) % kAlignment;
}

} // namespace platform
