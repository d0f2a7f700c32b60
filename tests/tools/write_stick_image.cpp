// Writes a whole recovery stick into an image file through the platform's held stick, in the order
// the writer makes them, for tests/scripts/boot_demo_stick.sh, which boots the result.
//
//   write_stick_image IMAGE CD [--quick | --own-fat32]
//
// IMAGE is the stick, CD the demo CD tree. --quick formats without the zero pass; --own-fat32
// makes the volume with the platform's own FAT32 writer instead (a quick format of a partition
// from 1 MiB), as Windows makes it on sticks its format service refuses. Exit status 0 when every
// step succeeded; otherwise the failed step is named on standard error.

#include "platform/Sticks.h"
#include "platform/disk/Fat32Formatter.h"
#include "platform/disk/MasterBootRecord.h"
#include "platform/linux/DriveTable.h"
#include "platform/linux/FileSectorDevice.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

namespace fs = std::filesystem;

namespace {

int Fail(const std::string& what)
{
    std::fprintf(stderr, "write_stick_image: %s\n", what.c_str());
    return 1;
}

// One FAT32 (LBA) partition from 1 MiB to the image's end, and our own FAT32 volume in it.
bool FormatWithOwnWriter(const fs::path& image, std::string& error)
{
    constexpr std::uint64_t kVolumeStart = 1024 * 1024;
    using platform::MasterBootRecord;
    auto size = fs::file_size(image);
    MasterBootRecord record(0x1234ABCD);
    record.SetPartition(0, { 0, MasterBootRecord::kTypeFat32Lba, 2048, static_cast<std::uint32_t>(size / 512 - 2048) });
    std::fstream(image, std::ios::binary | std::ios::in | std::ios::out)
        .write(reinterpret_cast<const char*>(record.Bytes().data()), MasterBootRecord::kSize);

    auto device = platform::linux::FileSectorDevice::Open(image.string(), kVolumeStart, size - kVolumeStart, 512, error);
    if (!device)
        return false;
    platform::Fat32Formatter::Settings settings;
    settings.quick = true;
    settings.hiddenSectors = 2048;
    platform::Fat32Formatter::Listener listener;
    listener.progress = [](std::uint32_t) { return true; };
    listener.output = [](const std::string&) { };
    return platform::Fat32Formatter(*device, settings, listener).Run(error);
}

// The virtual stick's letter in a drive table over the CD and the image alone.
char UseDrives(const std::string& image, const std::string& cd)
{
    platform::linux::DriveTable::Options options;
    options.sysfsRoot = "/nonexistent";
    options.cdRoot = cd;
    options.virtualSticks = image;
    platform::linux::DriveTable::ResetInstance(options);
    for (auto& drive : platform::linux::DriveTable::Instance().Drives()) {
        if (drive.kind == platform::linux::DriveInfo::Kind::VirtualStick)
            return drive.letter;
    }
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    std::string mode = argc == 4 ? argv[3] : "";
    if ((argc != 3 && argc != 4) || (argc == 4 && mode != "--quick" && mode != "--own-fat32"))
        return Fail("usage: write_stick_image IMAGE CD [--quick | --own-fat32]");
    std::string image = argv[1];
    std::string cd = argv[2];

    std::string error;
    if (mode == "--own-fat32" && !FormatWithOwnWriter(image, error))
        return Fail("our own FAT32 writer failed: " + error);

    char letter = UseDrives(image, cd);
    if (!letter)
        return Fail(image + " is no virtual stick");
    auto drive = static_cast<wchar_t>(letter);
    auto held = platform::Sticks::System().Hold(drive, platform::GetDriveIdentity(drive));
    if (!held.stick)
        return Fail("the stick can't be held: " + held.detail);
    if (mode != "--own-fat32") {
        platform::FormatProgress progress;
        progress.percent = [](std::uint32_t) { return true; };
        progress.text = [](const std::string&) { };
        if (held.stick->Format({ L"VarnMID", 4096, mode == "--quick" }, progress) != platform::FormatOutcome::Done)
            return Fail("the format failed");
    }

    struct Copy {
        const wchar_t* source;
        const wchar_t* name;
        bool withProgress; // as the writer copies the large root image
    };
    const Copy copies[] = {
        { L"D:\\_DEROZAZLIVE", L"\\.Derozazlive", false },
        { L"D:\\ISOLINUX\\initrd.img", L"\\initrd.img", false },
        { L"D:\\ISOLINUX\\root.lzm", L"\\root.lzm", true },
        { L"D:\\ISOLINUX\\syslinux.cfg", L"\\syslinux.cfg", false },
        { L"D:\\ISOLINUX\\vmlinuz", L"\\vmlinuz", false },
    };
    auto ignore = [](std::int64_t, std::int64_t) { return true; };
    for (const Copy& copy : copies) {
        if (!held.stick->CopyIn(copy.source, copy.name, copy.withProgress ? platform::CopyProgress(ignore) : platform::CopyProgress()))
            return Fail("copying " + fs::path(copy.name).string() + " failed");
    }
    int status = held.stick->InstallBootLoader(L"D:\\syslinux\\syslinux");
    if (status != 0)
        return Fail("the boot-loader installer ended with status " + std::to_string(status));
    return 0;
}
