#include "platform/posix/VolumeFormatter.h"

#include "platform/LittleEndian.h"
#include "platform/posix/ChildProcess.h"
#include "platform/posix/MasterBootRecord.h"
#include "platform/posix/UniqueFd.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <random>
#include <unistd.h>
#include <vector>

namespace platform::posix {

namespace {

constexpr std::uint64_t kMinimumPartition = 1024 * 1024;
constexpr std::uint64_t kSyncEvery = 64 * 1024 * 1024;
constexpr std::size_t kDirectAlignment = 4096;

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

    if (!ReportUpTo(0)) {
        error = "format cancelled";
        return false;
    }
    {
        UniqueFd disk(::open(layout.diskPath.c_str(), O_RDWR | O_CLOEXEC));
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
    int flags = O_WRONLY | O_CLOEXEC;
    UniqueFd buffered(::open(layout.diskPath.c_str(), flags));
    if (!buffered) {
        error = Describe("can't open for writing", layout.diskPath);
        return false;
    }
    // Direct writes skip the page cache, so the percentages follow the stick, not memory. Not every
    // file system takes them; then buffered writes with a sync every 64 MiB do the same job.
    UniqueFd direct(::open(layout.diskPath.c_str(), flags | O_DIRECT));

    std::size_t chunkSize = std::max<std::size_t>(m_settings.chunkSize / kDirectAlignment * kDirectAlignment, kDirectAlignment);
    auto zeros = ZeroedAlignedBuffer(chunkSize);
    if (!zeros) {
        error = "out of memory";
        return false;
    }

    std::uint64_t total = layout.partitionSize;
    std::uint64_t done = 0;
    std::uint64_t sinceSync = 0;
    while (done < total) {
        auto chunk = static_cast<std::size_t>(std::min<std::uint64_t>(total - done, chunkSize));
        std::uint64_t offset = layout.partitionOffset + done;
        bool written = false;
        if (direct) {
            if (WriteFully(direct.Get(), zeros.get(), chunk, offset))
                written = true;
            else if (errno == EINVAL)
                direct.Reset(); // unaligned tail or no direct I/O after all: carry on buffered
            else {
                error = Describe("can't write to", layout.diskPath);
                return false;
            }
        }
        if (!written) {
            if (!WriteFully(buffered.Get(), zeros.get(), chunk, offset)) {
                error = Describe("can't write to", layout.diskPath);
                return false;
            }
            sinceSync += chunk;
            if (sinceSync >= kSyncEvery) {
                if (::fdatasync(buffered.Get()) != 0) {
                    error = Describe("can't write to", layout.diskPath);
                    return false;
                }
                sinceSync = 0;
            }
        }
        done += chunk;
        // 100 waits for the file system itself.
        if (!ReportUpTo(static_cast<std::uint32_t>(std::min<std::uint64_t>(done * 100 / total, 99)))) {
            error = "format cancelled";
            return false;
        }
    }
    if (::fdatasync(buffered.Get()) != 0) {
        error = Describe("can't write to", layout.diskPath);
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
    if (::pread(scratch, boot, sizeof boot, 0) != static_cast<ssize_t>(sizeof boot)) {
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
        error = Describe("can't open for writing", layout.diskPath);
        return false;
    }
    std::vector<std::uint8_t> chunk(m_settings.chunkSize);
    for (std::uint64_t done = 0; done < end;) {
        auto size = static_cast<std::size_t>(std::min<std::uint64_t>(end - done, chunk.size()));
        if (::pread(scratch, chunk.data(), size, static_cast<off_t>(done)) != static_cast<ssize_t>(size)) {
            error = "can't read the scratch volume";
            return false;
        }
        // After the pass of zeros the stick already holds the empty parts of the FATs.
        bool zeros = std::all_of(chunk.begin(), chunk.begin() + static_cast<std::ptrdiff_t>(size), [](std::uint8_t b) { return b == 0; });
        if (!(zeros && !m_settings.quick) && !WriteFully(disk.Get(), chunk.data(), size, layout.partitionOffset + done)) {
            error = Describe("can't write the file system to", layout.diskPath);
            return false;
        }
        done += size;
    }
    return true;
}

} // namespace platform::posix
