#include "StickTestSupport.h"

#include "FileSectorDevice.h"
#include "platform/disk/MasterBootRecord.h"

#include <chrono>

namespace stick_test {

std::unique_ptr<platform::HeldStick> HoldStick(char letter)
{
    auto drive = static_cast<wchar_t>(letter);
    return platform::Sticks::System().Hold(drive, platform::GetDriveIdentity(drive)).stick;
}

void FormatDrive(char letter, bool quick, FormatRecord& record)
{
    auto drive = static_cast<wchar_t>(letter);
    auto held = platform::Sticks::System().Hold(drive, platform::GetDriveIdentity(drive));
    if (!held.stick) {
        record.lines.push_back(held.detail);
        record.outcome = platform::FormatOutcome::Failed;
        return;
    }
    platform::FormatProgress progress;
    progress.percent = [&record](std::uint32_t percent) {
        record.percents.push_back(percent);
        return record.stopAtPercent < 0 || static_cast<int>(percent) < record.stopAtPercent;
    };
    progress.text = [&record](const std::string& text) { record.lines.push_back(text); };
    record.outcome = held.stick->Format({ L"VarnMID", 4096, quick }, progress);
}

OwnFormatOutcome FormatWithOwnWriter(const fs::path& image, std::uint64_t offset, std::uint64_t size,
    platform::Fat32Formatter::Settings settings, int stopAtPercent)
{
    OwnFormatOutcome outcome;
    auto device = platform::linux::FileSectorDevice::Open(image.string(), offset, size, 512, outcome.error);
    if (!device)
        return outcome;
    platform::Fat32Formatter::Listener listener;
    listener.progress = [&](std::uint32_t percent) {
        outcome.percents.push_back(percent);
        return static_cast<int>(percent) != stopAtPercent;
    };
    listener.output = [&](const std::string& line) { outcome.lines.push_back(line); };
    auto started = std::chrono::steady_clock::now();
    outcome.ok = platform::Fat32Formatter(*device, settings, listener).Run(outcome.error);
    outcome.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    return outcome;
}

std::vector<std::uint8_t> WritePartitionTable(const fs::path& image)
{
    using platform::MasterBootRecord;
    auto sectors = static_cast<std::uint32_t>(fs::file_size(image) / 512);
    MasterBootRecord record(0x1234ABCD);
    record.SetPartition(0, { 0, MasterBootRecord::kTypeFat32Lba, 2048, sectors - 2048 });
    std::fstream file(image, std::ios::binary | std::ios::in | std::ios::out);
    file.write(reinterpret_cast<const char*>(record.Bytes().data()), MasterBootRecord::kSize);
    return std::vector<std::uint8_t>(record.Bytes().begin(), record.Bytes().end());
}

} // namespace stick_test
