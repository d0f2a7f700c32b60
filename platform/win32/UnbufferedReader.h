#pragma once

#include "platform/disk/AlignedBuffer.h"
#include "platform/win32/DeviceCalls.h"

#include <cstdint>

namespace platform::win32 {

// A file opened with FILE_FLAG_NO_BUFFERING, read from its start to its end in whole pieces.
// Unbuffered reads must start at a sector multiple, ask for a sector multiple and land in a
// sector-aligned buffer; the file's last piece is short, and a read after it would start at the
// file's size, which is rarely one. So the size is taken first and says where to stop, and every
// read starts at a multiple of the piece size (itself a multiple of every sector size).
class UnbufferedReader {
public:
    static constexpr DWORD kPieceSize = 1024 * 1024;

    explicit UnbufferedReader(HANDLE file, DeviceCalls& calls = DeviceCalls::System())
        : m_file(file)
        , m_calls(calls)
        , m_buffer(kPieceSize)
    {
        LARGE_INTEGER size {};
        m_sizeKnown = ::GetFileSizeEx(file, &size) != FALSE;
        m_size = m_sizeKnown ? static_cast<std::uint64_t>(size.QuadPart) : 0;
    }

    bool SizeKnown() const { return m_sizeKnown; }
    std::uint64_t Size() const { return m_size; }
    std::uint64_t Offset() const { return m_offset; }
    bool AtEnd() const { return m_offset >= m_size; }

    // The next piece into Data(): true with `count` bytes, or false when the file ended early
    // or the read failed. Not to be called at the end.
    bool ReadNext(DWORD& count)
    {
        count = 0;
        std::uint64_t left = m_size - m_offset;
        DWORD expected = left < kPieceSize ? static_cast<DWORD>(left) : kPieceSize;
        OVERLAPPED position {};
        position.Offset = static_cast<DWORD>(m_offset);
        position.OffsetHigh = static_cast<DWORD>(m_offset >> 32);
        if (!m_calls.Read(m_file, m_buffer.Data(), kPieceSize, &count, &position) || count != expected)
            return false;
        m_offset += count;
        return true;
    }

    const std::uint8_t* Data() const { return m_buffer.Data(); }

private:
    HANDLE m_file;
    DeviceCalls& m_calls;
    AlignedBuffer m_buffer;
    bool m_sizeKnown = false;
    std::uint64_t m_size = 0;
    std::uint64_t m_offset = 0;
};

} // namespace platform::win32
