// The formatter's pass of zeros over a stick's partition, timed the way the writer calls it:
// FormatEx from the format library (full format, FAT32, 4096-byte clusters) on the virtual stick
// IMAGE (an image file or a block device), from the call until mkfs.fat's first line of output.
// That span holds the new partition table (1 MiB, synced), the zero pass over the partition, its
// final sync, and starting mkfs.fat; so the figure slightly overstates the zero pass alone.
//
//   bench_zero_pass IMAGE      prints "<seconds> <partition bytes> <MB/s>" and the format result

#include "platform/Format.h"

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
bool g_formatted = false;

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

bool OnFormatEvent(std::uint32_t command, std::uint32_t, void* actionInfo)
{
    if (command == platform::kFormatOutput && !g_sawOutput) {
        g_firstOutput = Clock::now();
        g_sawOutput = true;
    }
    if (command == platform::kFormatDone)
        g_formatted = *static_cast<std::uint8_t*>(actionInfo) != 0;
    return true;
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

    auto module = platform::LoadLibraryW(L"fmifs.dll");
    auto formatEx = reinterpret_cast<platform::FormatExFunction>(platform::GetProcAddress(module, "FormatEx"));
    if (!formatEx) {
        std::fprintf(stderr, "bench_zero_pass: no FormatEx\n");
        return 1;
    }

    auto start = Clock::now();
    formatEx(L"E:\\", 12, L"FAT32", L"VarnMID", 0, 4096, OnFormatEvent);
    if (!g_formatted || !g_sawOutput) {
        std::fprintf(stderr, "bench_zero_pass: the format failed\n");
        return 1;
    }
    double seconds = std::chrono::duration<double>(g_firstOutput - start).count();
    auto partitionBytes = DiskSize(argv[1], image) - 1024 * 1024;
    std::printf("%.4f %llu %.1f\n", seconds, static_cast<unsigned long long>(partitionBytes),
        static_cast<double>(partitionBytes) / 1e6 / seconds);
    return 0;
}
