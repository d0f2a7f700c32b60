#include "platform/posix/VolumeFormatter.h"

#include "platform/posix/ChildProcess.h"
#include "platform/posix/DiskLock.h"
#include "platform/posix/MasterBootRecord.h"
#include "platform/posix/UniqueFd.h"

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <mutex>
#include <random>
#include <thread>
#include <unistd.h>
#include <vector>

namespace platform::posix {

namespace {

constexpr std::uint64_t kMinimumPartition = 1024 * 1024;
constexpr std::uint64_t kSyncEvery = 64 * 1024 * 1024;
constexpr std::size_t kDirectAlignment = 4096;
constexpr std::uint64_t kCachedHeadAlignment = 1024 * 1024;
constexpr std::uint64_t kMaxCachedHead = 32 * 1024 * 1024;

struct FreeDeleter {
    void operator()(void* memory) const { std::free(memory); }
};
using AlignedBuffer = std::unique_ptr<std::uint8_t, FreeDeleter>;

AlignedBuffer ZeroedAlignedBuffer(std::size_t size)
{
    void* memory = nullptr;
    if (::posix_memalign(&memory, kDirectAlignment, size) != 0)
        return nullptr;
    std::memset(memory, 0, size);
    return AlignedBuffer(static_cast<std::uint8_t*>(memory));
}

std::uint32_t NewDiskSignature()
{
    std::random_device entropy;
    std::uint32_t signature = 0;
    while (signature == 0)
        signature = entropy();
    return signature;
}

bool WriteFully(int fd, const std::uint8_t* data, std::size_t size, std::uint64_t offset)
{
    while (size > 0) {
        ssize_t written = ::pwrite(fd, data, size, static_cast<off_t>(offset));
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        data += written;
        size -= static_cast<std::size_t>(written);
        offset += static_cast<std::uint64_t>(written);
    }
    return true;
}

// Writes zeros over ranges of a disk on a thread of its own, one chunk after the other, while
// the caller waits for its progress and reports it: the next write is always under way while a
// report makes its round trip to the window, so the stick never waits for the window. Ranges
// marked `cached` go through the page cache (the caller syncs them); the others are written
// direct when the disk takes it, so the byte counts follow the stick and not memory. Where it
// doesn't, everything goes through the page cache with a sync every kSyncEvery.
class ZeroWriter {
public:
    struct Range {
        std::uint64_t offset;
        std::uint64_t length;
        bool cached;
    };
    struct Progress {
        std::uint64_t written = 0;
        bool ended = false;
        int error = 0; // errno of the write that failed
    };

    ZeroWriter(int disk, std::vector<Range> ranges, const std::uint8_t* zeros, std::size_t chunkSize)
        : m_disk(disk)
        , m_ranges(std::move(ranges))
        , m_zeros(zeros)
        , m_chunkSize(chunkSize)
        , m_thread([this] { WriteAll(); })
    {
    }

    ~ZeroWriter()
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_stop = true;
        }
        m_thread.join();
    }

    // Waits until more than `seen` bytes are written or the writer has ended.
    Progress WaitBeyond(std::uint64_t seen)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_changed.wait(lock, [&] { return m_progress.written > seen || m_progress.ended; });
        return m_progress;
    }

private:
    void WriteAll()
    {
        int error = 0;
        for (const Range& range : m_ranges) {
            error = WriteRange(range);
            if (error != 0)
                break;
        }
        std::lock_guard<std::mutex> lock(m_mutex);
        m_progress.error = error;
        m_progress.ended = true;
        m_changed.notify_all();
    }

    int WriteRange(const Range& range)
    {
        UseDirectWrites(!range.cached && !m_directFailed);
        for (std::uint64_t done = 0; done < range.length;) {
            if (Stopped())
                return 0;
            auto chunk = static_cast<std::size_t>(std::min<std::uint64_t>(range.length - done, m_chunkSize));
            if (!WriteFully(m_disk, m_zeros, chunk, range.offset + done)) {
                if (errno != EINVAL || !m_direct)
                    return errno;
                // An unaligned tail, or no direct writes after all: the rest goes through the cache.
                m_directFailed = true;
                UseDirectWrites(false);
                if (m_direct)
                    return EINVAL;
                continue;
            }
            done += chunk;
            if (!m_direct && !range.cached) {
                m_sinceSync += chunk;
                if (m_sinceSync >= kSyncEvery) {
                    if (::fdatasync(m_disk) != 0)
                        return errno;
                    m_sinceSync = 0;
                }
            }
            std::lock_guard<std::mutex> lock(m_mutex);
            m_progress.written += chunk;
            m_changed.notify_all();
        }
        return 0;
    }

    void UseDirectWrites(bool direct)
    {
        int flags = ::fcntl(m_disk, F_GETFL);
        if (flags < 0)
            return;
        int wanted = direct ? flags | O_DIRECT : flags & ~O_DIRECT;
        if (wanted == flags || ::fcntl(m_disk, F_SETFL, wanted) == 0)
            m_direct = direct;
    }

    bool Stopped()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_stop;
    }

    int m_disk;
    std::vector<Range> m_ranges;
    const std::uint8_t* m_zeros;
    std::size_t m_chunkSize;
    bool m_direct = false;
    bool m_directFailed = false;
    std::uint64_t m_sinceSync = 0;

    std::mutex m_mutex;
    std::condition_variable m_changed;
    Progress m_progress;
    bool m_stop = false;
    std::thread m_thread; // last: starts once everything above is set
};

std::string Describe(const std::string& what, const std::string& path)
{
    return what + " " + path + ": " + std::strerror(errno);
}

} // namespace

VolumeFormatter::VolumeFormatter(StickVolume layout, Settings settings, Listener listener)
    : m_layout(std::move(layout))
    , m_settings(std::move(settings))
    , m_listener(std::move(listener))
{
}

bool VolumeFormatter::ReportUpTo(std::uint32_t percent)
{
    while (m_nextPercent <= static_cast<int>(percent)) {
        if (m_listener.progress && !m_listener.progress(static_cast<std::uint32_t>(m_nextPercent)))
            return false;
        ++m_nextPercent;
    }
    return true;
}

bool VolumeFormatter::Run(std::string& error)
{
    auto& layout = m_layout;
    if (layout.sectorSize < 512 || (layout.sectorSize & (layout.sectorSize - 1)) != 0) {
        error = "unsupported sector size " + std::to_string(layout.sectorSize);
        return false;
    }
    auto cluster = m_settings.clusterSize ? m_settings.clusterSize : 4096;
    if (cluster < layout.sectorSize || cluster % layout.sectorSize != 0 || cluster / layout.sectorSize > 128) {
        error = "cluster size " + std::to_string(cluster) + " doesn't fit sectors of " + std::to_string(layout.sectorSize);
        return false;
    }
    if (layout.partitionSize < kMinimumPartition) {
        error = layout.diskPath + " is too small for a volume";
        return false;
    }
    if (layout.diskSize / layout.sectorSize > 0xFFFFFFFFull) {
        error = layout.diskPath + " is too large for a master boot record";
        return false;
    }

    DiskLock lock(layout.diskPath);
    if (!lock.IsOpen()) {
        error = Describe("can't open", layout.diskPath);
        return false;
    }
    if (!ReportUpTo(0)) {
        error = "format cancelled";
        return false;
    }
    {
        int flags = O_RDWR | O_CLOEXEC | (layout.isBlockDevice ? O_EXCL : 0);
        UniqueFd disk(::open(layout.diskPath.c_str(), flags));
        if (!disk) {
            error = Describe("can't open for writing", layout.diskPath);
            return false;
        }
        if (!WritePartitionTable(disk.Get(), error))
            return false;
        if (::fsync(disk.Get()) != 0) {
            error = Describe("can't write", layout.diskPath);
            return false;
        }
    }
    if (!m_settings.quick && !ZeroPartition(error))
        return false;
    if (!MakeFileSystem(error))
        return false;

    UniqueFd disk(::open(layout.diskPath.c_str(), O_RDONLY | O_CLOEXEC));
    if (!disk || ::fsync(disk.Get()) != 0) {
        error = Describe("can't sync", layout.diskPath);
        return false;
    }
    if (!ReportUpTo(100)) {
        error = "format cancelled";
        return false;
    }
    return true;
}

bool VolumeFormatter::WritePartitionTable(int disk, std::string& error)
{
    auto& layout = m_layout;
    MasterBootRecord record(NewDiskSignature());
    MasterBootRecord::Partition partition;
    partition.type = MasterBootRecord::kTypeFat32Lba;
    partition.firstSector = static_cast<std::uint32_t>(layout.PartitionFirstSector());
    partition.sectorCount = static_cast<std::uint32_t>(layout.partitionSize / layout.sectorSize);
    record.SetPartition(0, partition);

    // The first MiB holds only the record: old boot code, a GPT header or boot loader stages go.
    auto head = ZeroedAlignedBuffer(static_cast<std::size_t>(layout.partitionOffset));
    if (!head) {
        error = "out of memory";
        return false;
    }
    std::copy(record.Bytes().begin(), record.Bytes().end(), head.get());
    if (!WriteFully(disk, head.get(), static_cast<std::size_t>(layout.partitionOffset), 0)) {
        error = Describe("can't write the partition table to", layout.diskPath);
        return false;
    }
    // A quick format keeps the old data, but not a backup GPT at the end that would outrank the MBR.
    if (m_settings.quick) {
        std::uint64_t tail = std::min<std::uint64_t>(kMinimumPartition, layout.partitionSize);
        if (!ZeroRange(disk, layout.partitionOffset + layout.partitionSize - tail, tail, error))
            return false;
    }
    return true;
}

bool VolumeFormatter::ZeroRange(int disk, std::uint64_t offset, std::uint64_t length, std::string& error)
{
    auto zeros = ZeroedAlignedBuffer(static_cast<std::size_t>(std::min<std::uint64_t>(length, m_settings.chunkSize)));
    while (length > 0) {
        auto chunk = static_cast<std::size_t>(std::min<std::uint64_t>(length, m_settings.chunkSize));
        if (!zeros || !WriteFully(disk, zeros.get(), chunk, offset)) {
            error = Describe("can't write to", m_layout.diskPath);
            return false;
        }
        offset += chunk;
        length -= chunk;
    }
    return true;
}

bool VolumeFormatter::ZeroPartition(std::string& error)
{
    auto& layout = m_layout;
    int flags = O_WRONLY | O_CLOEXEC | (layout.isBlockDevice ? O_EXCL : 0);
    // One descriptor: a second exclusive open of a block device fails, even from this process.
    UniqueFd disk(::open(layout.diskPath.c_str(), flags));
    if (!disk) {
        error = Describe("can't open for writing", layout.diskPath);
        return false;
    }
    std::size_t chunkSize = std::max<std::size_t>(m_settings.chunkSize / kDirectAlignment * kDirectAlignment, kDirectAlignment);
    auto zeros = ZeroedAlignedBuffer(chunkSize);
    if (!zeros) {
        error = "out of memory";
        return false;
    }

    std::uint64_t head = std::min(FileSystemHeadSize(), layout.partitionSize);
    std::vector<ZeroWriter::Range> ranges {
        { layout.partitionOffset + head, layout.partitionSize - head, false },
        { layout.partitionOffset, head, true },
    };
    std::uint64_t total = layout.partitionSize;
    ZeroWriter writer(disk.Get(), std::move(ranges), zeros.get(), chunkSize);
    for (std::uint64_t seen = 0;;) {
        auto progress = writer.WaitBeyond(seen);
        seen = progress.written;
        // 100 waits for the file system itself.
        if (!ReportUpTo(static_cast<std::uint32_t>(std::min<std::uint64_t>(seen * 100 / total, 99)))) {
            error = "format cancelled";
            return false;
        }
        if (progress.error != 0) {
            errno = progress.error;
            error = Describe("can't write to", layout.diskPath);
            return false;
        }
        if (progress.ended)
            break;
    }
    if (::fdatasync(disk.Get()) != 0) {
        error = Describe("can't write to", layout.diskPath);
        return false;
    }
    return true;
}

std::uint64_t VolumeFormatter::FileSystemHeadSize() const
{
    // mkfs.fat -F 32: 32 reserved sectors, two FATs of four bytes per cluster, the root folder's cluster.
    std::uint64_t cluster = m_settings.clusterSize ? m_settings.clusterSize : 4096;
    std::uint64_t fat = (m_layout.partitionSize / cluster + 2) * 4;
    std::uint64_t head = 32 * m_layout.sectorSize + 2 * fat + cluster;
    head = (head + kCachedHeadAlignment - 1) / kCachedHeadAlignment * kCachedHeadAlignment;
    return std::min(head, kMaxCachedHead);
}

bool VolumeFormatter::MakeFileSystem(std::string& error)
{
    auto& layout = m_layout;
    auto firstSector = std::to_string(layout.PartitionFirstSector());
    auto cluster = m_settings.clusterSize ? m_settings.clusterSize : 4096;
    ChildProcess::Options options;
    options.arguments = { "mkfs.fat", "-F", "32", "-S", std::to_string(layout.sectorSize), "-s",
        std::to_string(cluster / layout.sectorSize), "-n", m_settings.label, "-h", firstSector, "--offset", firstSector,
        "-I", layout.diskPath, std::to_string(layout.partitionSize / 1024) };
    auto child = ChildProcess::Spawn(options, error);
    if (!child)
        return false;
    child->SetOutputSink([this](const std::string& line) {
        if (m_listener.output)
            m_listener.output(line);
    });
    int status = child->Wait();
    if (status != 0) {
        error = "mkfs.fat failed with status " + std::to_string(status);
        return false;
    }
    return true;
}

} // namespace platform::posix
