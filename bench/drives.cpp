// The recovery start dialog's drive listing over a crowded machine: a fake sysfs with 26 disks,
// more than there are letters, so C: and E: to Z: are all taken. Each iteration is what one
// listing does: a rescan of sysfs, then per letter its type, name and whether its volume is
// there, the geometry and the identity of each USB drive, and the item text.

#include "platform/Sticks.h"
#include "platform/linux/DriveTable.h"
#include "stick/DriveListItem.h"
#include "tests/platform/linux/FakeSysfs.h"

#include <benchmark/benchmark.h>

#include <string>
#include <vector>

namespace {

using platform::linux::DriveTable;

constexpr int kDisks = 26;

std::string UsbDevicePath(int port)
{
    // One stick per root-hub port, each with its own SCSI host.
    std::string p = std::to_string(port + 1);
    std::string host = std::to_string(port + 10);
    return "pci0000:00/0000:00:14.0/usb1/1-" + p + "/1-" + p + ":1.0/host" + host + "/target" + host + ":0:0/" + host + ":0:0:0";
}

std::string SataDevicePath(int port)
{
    std::string p = std::to_string(port);
    return "pci0000:00/0000:00:17.0/ata" + p + "/host" + p + "/target" + p + ":0:0/" + p + ":0:0:0";
}

// 26 disks sda..sdz: three SATA disks, the rest USB sticks and USB disks of assorted sizes.
void BuildCrowdedMachine(FakeSysfs& sysfs)
{
    for (int i = 0; i < kDisks; ++i) {
        std::string name = std::string("sd") + static_cast<char>('a' + i);
        if (i % 9 == 0) {
            sysfs.AddScsiDisk(name, SataDevicePath(i / 9 + 1), 976773168, false);
            continue;
        }
        std::uint64_t sectors = (std::uint64_t(1) << (i % 6)) * 3906250; // 2 GB to 64 GB
        sysfs.AddScsiDisk(name, UsbDevicePath(i), sectors, i % 4 != 3);
    }
}

std::vector<std::wstring> ListUsbDrives()
{
    std::vector<std::wstring> items;
    for (const platform::DriveFacts& drive : platform::Sticks::System().ListDrives()) {
        if (drive.IsUsbDrive())
            items.push_back(DriveListItem(drive));
    }
    return items;
}

void BM_ListUsbDrives26Disks(benchmark::State& state)
{
    TempFolder folder;
    FakeSysfs sysfs(folder.Path());
    BuildCrowdedMachine(sysfs);
    DriveTable::Options options;
    options.sysfsRoot = sysfs.SysRoot();
    options.devRoot = sysfs.DevRoot();
    options.cdRoot = ARKEVEN_BINARY_DIR "/cd";
    options.mountInfoPath = (folder.Path() / "mountinfo").string();
    WriteText(options.mountInfoPath, "");
    DriveTable::ResetInstance(options);

    auto letters = static_cast<int>(platform::Sticks::System().ListDrives().size());
    auto items = ListUsbDrives();
    // 23 letters for disks plus D: for the CD; 20 of the disks hang on USB.
    if (letters != 24 || items.size() != 20) {
        state.SkipWithError("the fake machine does not have the expected drives");
        DriveTable::ResetInstance();
        return;
    }
    for (auto _ : state)
        benchmark::DoNotOptimize(ListUsbDrives());
    state.counters["letters"] = letters;
    state.counters["items"] = static_cast<double>(items.size());
    DriveTable::ResetInstance();
}
BENCHMARK(BM_ListUsbDrives26Disks)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
