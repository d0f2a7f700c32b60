// The formatter's pass of zeros over a stick's partition, timed the way the job calls it: the
// held stick's format (full, FAT32, 4096-byte clusters) on the virtual stick IMAGE (an image file
// or a block device), from the call until mkfs.fat's first line of output.
// That span holds the new partition table (1 MiB, synced), the zero pass over the partition, its
// final sync, and starting mkfs.fat; so the figure slightly overstates the zero pass alone.
//
//   bench_zero_pass IMAGE      prints "<seconds> <partition bytes> <MB/s>" and the format result

#include "platform/Sticks.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <linux/fs.h>
#include <string>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

Clock::time_point g_firstOutput;
bool g_sawOutput = false;

std::uint64_t DiskSize(const char* path, const struct stat& disk)
{
    if (S_ISREG(disk.st_mode))
        return static_cast<std::uint64_t>(disk.st_size);
    std::uint64_t size = 0;
    int fd = ::open(path, O_RDONLY | O_CLOEXEC);
    if (fd >= 0) {
        if (::ioctl(fd, BLKGETSIZE64, &size) != 0)
            size = 0;
        ::close(fd);
    }
    return size;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: bench_zero_pass IMAGE\n");
        return 2;
    }
    struct stat image {};
    if (::stat(argv[1], &image) != 0 || !(S_ISREG(image.st_mode) || S_ISBLK(image.st_mode))) {
        std::fprintf(stderr, "bench_zero_pass: %s is neither an image file nor a block device\n", argv[1]);
        return 2;
    }
    // The only stick there is, so it is E:.
    ::setenv("ARKEVEN_VIRTUAL_STICKS", argv[1], 1);

    auto& sticks = platform::Sticks::System();
    auto held = sticks.Hold(L'E', platform::GetDriveIdentity(L'E'));
    if (!held.stick) {
        std::fprintf(stderr, "bench_zero_pass: %s\n", held.detail.c_str());
        return 1;
    }

    platform::FormatProgress progress;
    progress.text = [](const std::string&) {
        if (!g_sawOutput)
            g_firstOutput = Clock::now();
        g_sawOutput = true;
    };
    auto start = Clock::now();
    auto outcome = held.stick->Format({ L"VarnMID", 4096, false }, progress);
    if (outcome != platform::FormatOutcome::Done || !g_sawOutput) {
        std::fprintf(stderr, "bench_zero_pass: the format failed\n");
        return 1;
    }
    double seconds = std::chrono::duration<double>(g_firstOutput - start).count();
    auto partitionBytes = DiskSize(argv[1], image) - 1024 * 1024;
    std::printf("%.4f %llu %.1f\n", seconds, static_cast<unsigned long long>(partitionBytes),
        static_cast<double>(partitionBytes) / 1e6 / seconds);
    return 0;
}
