#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace platform {

// A zeroed block of memory whose start is aligned for unbuffered device I/O (O_DIRECT, or a
// Windows volume handle), which wants buffers on a sector boundary; 4096 covers every sector size
// a stick has.
class AlignedBuffer {
public:
    static constexpr std::size_t kAlignment = 4096;

    explicit AlignedBuffer(std::size_t size);
    // A copy would point into the original's memory; a move keeps the block where it is.
    AlignedBuffer(const AlignedBuffer&) = delete;
    AlignedBuffer& operator=(const AlignedBuffer&) = delete;
    AlignedBuffer(AlignedBuffer&&) = default;
    AlignedBuffer& operator=(AlignedBuffer&&) = default;

    std::uint8_t* Data() { return m_data; }
    const std::uint8_t* Data() const { return m_data; }
    std::size_t Size() const { return m_size; }

private:
    std::vector<std::uint8_t> m_storage;
    std::uint8_t* m_data = nullptr;
    std::size_t m_size = 0;
};

} // namespace platform
