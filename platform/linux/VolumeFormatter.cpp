#include "platform/linux/VolumeFormatter.h"

#include "platform/disk/AlignedBuffer.h"
#include "platform/disk/LittleEndian.h"
#include "platform/linux/ChildProcess.h"
#include "platform/disk/MasterBootRecord.h"
#include "platform/linux/PositionedIo.h"
#include "platform/linux/UniqueFd.h"

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <mutex>
#include <thread>
#include <unistd.h>
#include <vector>

namespace platform::linux {

namespace {

constexpr std::uint64_t kMinimumPartition = 1024 * 1024;
constexpr std::uint64_t kSyncEvery = 64 * 1024 * 1024;

// Writes zeros over a range of a disk on a thread of its own, one chunk after the other, while
// the caller waits for its progress and reports it: the next write is always under way while a
// report makes its round trip to the window, so the stick never waits for the window. The writes
// go direct when the disk takes it, so the byte counts follow the stick and not memory; where it
// doesn't, through the page cache with a sync every kSyncEvery.
class ZeroWriter {
public:
    struct Progress {
        std::uint64_t written = 0;
        bool ended = false;
        int error = 0; // errno of the write that failed
    };

    ZeroWriter(int disk, std::uint64_t offset, std::uint64_t length, const std::uint8_t* zeros, std::size_t chunkSize)
        : m_disk(disk)
        , m_offset(offset)
        , m_length(length)
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
        int error = WriteRange();
        std::lock_guard<std::mutex> lock(m_mutex);
        m_progress.error = error;
        m_progress.ended = true;
        m_changed.notify_all();
    }

    int WriteRange()
    {
        UseDirectWrites(true);
        for (std::uint64_t done = 0; done < m_length;) {
            if (Stopped())
                return 0;
            auto chunk = static_cast<std::size_t>(std::min<std::uint64_t>(m_length - done, m_chunkSize));
            if (!WriteFully(m_disk, m_zeros, chunk, m_offset + done)) {
                if (errno != EINVAL || !m_direct)
                    return errno;
                // An unaligned tail, or no direct writes after all: the rest goes through the cache.
                UseDirectWrites(false);
                if (m_direct)
                    return EINVAL;
                continue;
            }
            done += chunk;
            if (!m_direct) {
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
    std::uint64_t m_offset;
    std::uint64_t m_length;
    const std::uint8_t* m_zeros;
    std::size_t m_chunkSize;
    bool m_direct = false;
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
        error = layout.Name() + " is too small for a volume";
        return false;
    }
    // The partition's end, not the disk's, must lie within what the record addresses.
    if ((layout.partitionOffset + layout.partitionSize) / layout.sectorSize > 0x100000000ull) {
        error = "the partition planned on " + layout.Name() + " ends beyond what a master boot record addresses";
        return false;
    }

    if (!ReportUpTo(0)) {
        error = "format cancelled";
        return false;
    }
    {
        UniqueFd disk(::open(layout.diskPath.c_str(), O_RDWR | O_CLOEXEC));
        if (!disk) {
            error = Describe("can't open for writing", layout.Name());
            return false;
        }
        if (!WritePartitionTable(disk.Get(), error))
            return false;
        if (::fsync(disk.Get()) != 0) {
            error = Describe("can't write", layout.Name());
            return false;
        }
    }
    if (!m_settings.quick && !ZeroPartition(error))
        return false;
    if (!MakeFileSystem(error))
        return false;

    UniqueFd disk(::open(layout.diskPath.c_str(), O_RDONLY | O_CLOEXEC));
    if (!disk || ::fsync(disk.Get()) != 0) {
        error = Describe("can't sync", layout.Name());
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
    MasterBootRecord record(MasterBootRecord::NewDiskSignature());
    MasterBootRecord::Partition partition;
    partition.type = MasterBootRecord::kTypeFat32Lba;
    partition.firstSector = static_cast<std::uint32_t>(layout.PartitionFirstSector());
    partition.sectorCount = static_cast<std::uint32_t>(layout.partitionSize / layout.sectorSize);
    record.SetPartition(0, partition);

    // The first MiB holds only the record: old boot code, a GPT header or boot loader stages go.
    AlignedBuffer head(static_cast<std::size_t>(layout.partitionOffset));
    std::copy(record.Bytes().begin(), record.Bytes().end(), head.Data());
    if (!WriteFully(disk, head.Data(), static_cast<std::size_t>(layout.partitionOffset), 0)) {
        error = Describe("can't write the partition table to", layout.Name());
        return false;
    }
    // No backup GPT may stay at the disk's end to outrank the new record: a quick format keeps the
    // old data, and on a disk larger than the partition the end lies beyond the zero pass.
    std::uint64_t diskEnd = layout.diskSize / layout.sectorSize * layout.sectorSize;
    std::uint64_t tail = std::min<std::uint64_t>(kMinimumPartition, diskEnd - layout.partitionOffset);
    return ZeroRange(disk, diskEnd - tail, tail, error);
}

bool VolumeFormatter::ZeroRange(int disk, std::uint64_t offset, std::uint64_t length, std::string& error)
{
    AlignedBuffer zeros(static_cast<std::size_t>(std::min<std::uint64_t>(length, m_settings.chunkSize)));
    while (length > 0) {
        auto chunk = static_cast<std::size_t>(std::min<std::uint64_t>(length, m_settings.chunkSize));
        if (!WriteFully(disk, zeros.Data(), chunk, offset)) {
            error = Describe("can't write to", m_layout.Name());
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
    // The job holds the disk exclusively already; this descriptor reaches it through the hold.
    UniqueFd disk(::open(layout.diskPath.c_str(), O_WRONLY | O_CLOEXEC));
    if (!disk) {
        error = Describe("can't open for writing", layout.Name());
        return false;
    }
    std::size_t chunkSize = std::max<std::size_t>(m_settings.chunkSize / AlignedBuffer::kAlignment * AlignedBuffer::kAlignment,
        AlignedBuffer::kAlignment);
    AlignedBuffer zeros(chunkSize);
    std::uint64_t total = layout.partitionSize;
    ZeroWriter writer(disk.Get(), layout.partitionOffset, total, zeros.Data(), chunkSize);
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
            error = Describe("can't write to", layout.Name());
            return false;
        }
        if (progress.ended)
            break;
    }
    if (::fdatasync(disk.Get()) != 0) {
        error = Describe("can't write to", layout.Name());
        return false;
    }
    return true;
}

bool VolumeFormatter::MakeFileSystem(std::string& error)
{
    // mkfs.fat insists on opening a disk exclusively, which the job's own hold refuses. It makes
    // the volume in a sparse scratch file of the partition's size instead, and the sectors it
    // wrote there (boot sectors, FATs, root folder) are copied onto the stick.
    auto& layout = m_layout;
    const char* folder = std::getenv("TMPDIR");
    std::string scratchPath = std::string(folder && *folder ? folder : "/tmp") + "/arkeven-volume-XXXXXX";
    UniqueFd scratch(::mkostemp(scratchPath.data(), O_CLOEXEC));
    if (!scratch) {
        error = Describe("can't make a scratch file", scratchPath);
        return false;
    }
    struct ScratchRemover {
        const std::string& path;
        ~ScratchRemover() { ::unlink(path.c_str()); }
    } remover { scratchPath };
    if (::ftruncate(scratch.Get(), static_cast<off_t>(layout.partitionSize)) != 0) {
        error = Describe("can't size the scratch file", scratchPath);
        return false;
    }

    auto cluster = m_settings.clusterSize ? m_settings.clusterSize : 4096;
    ChildProcess::Options options;
    options.arguments = { "mkfs.fat", "-F", "32", "-S", std::to_string(layout.sectorSize), "-s",
        std::to_string(cluster / layout.sectorSize), "-n", m_settings.label, "-h",
        std::to_string(layout.PartitionFirstSector()), "-I", scratchPath, std::to_string(layout.partitionSize / 1024) };
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
    return CopyFileSystemArea(scratch.Get(), error);
}

bool VolumeFormatter::CopyFileSystemArea(int scratch, std::string& error)
{
    auto& layout = m_layout;
    std::uint8_t boot[512];
    if (!ReadFully(scratch, boot, sizeof boot, 0)) {
        error = "mkfs.fat made no boot sector";
        return false;
    }
    std::uint64_t bytesPerSector = GetLittle16(boot + 0x0B);
    std::uint64_t sectorsPerCluster = boot[0x0D];
    std::uint64_t reserved = GetLittle16(boot + 0x0E);
    std::uint64_t fats = boot[0x10];
    std::uint64_t fatSectors = GetLittle32(boot + 0x24);
    std::uint64_t rootCluster = GetLittle32(boot + 0x2C);
    // Everything up to the end of the root folder's cluster: the data area beyond it is free.
    std::uint64_t end = (reserved + fats * fatSectors + (rootCluster - 1) * sectorsPerCluster) * bytesPerSector;
    if (bytesPerSector != layout.sectorSize || rootCluster < 2 || end > layout.partitionSize) {
        error = "mkfs.fat made an unexpected volume";
        return false;
    }

    UniqueFd disk(::open(layout.diskPath.c_str(), O_WRONLY | O_CLOEXEC));
    if (!disk) {
        error = Describe("can't open for writing", layout.Name());
        return false;
    }
    std::vector<std::uint8_t> chunk(m_settings.chunkSize);
    for (std::uint64_t done = 0; done < end;) {
        auto size = static_cast<std::size_t>(std::min<std::uint64_t>(end - done, chunk.size()));
        if (!ReadFully(scratch, chunk.data(), size, done)) {
            error = "can't read the scratch volume";
            return false;
        }
        // After the pass of zeros the stick already holds the empty parts of the FATs.
        bool zeros = std::all_of(chunk.begin(), chunk.begin() + static_cast<std::ptrdiff_t>(size), [](std::uint8_t b) { return b == 0; });
        if (!(zeros && !m_settings.quick) && !WriteFully(disk.Get(), chunk.data(), size, layout.partitionOffset + done)) {
            error = Describe("can't write the file system to", layout.Name());
            return false;
        }
        done += size;
    }
    return true;
}

} // namespace platform::linux
