#include "StickTestSupport.h"

#include "platform/Format.h"
#include "platform/posix/FileSectorDevice.h"
#include "platform/posix/MasterBootRecord.h"

#include <chrono>

namespace stick_test {

FormatRecord* g_formatRecord = nullptr;

bool RecordingCallback(std::uint32_t command, std::uint32_t, void* info)
{
    auto& record = *g_formatRecord;
    record.commandOrder.push_back(command);
    if (command == platform::kFormatProgress) {
        auto percent = *static_cast<std::uint32_t*>(info);
        record.percents.push_back(percent);
        if (record.stopAtPercent >= 0 && static_cast<int>(percent) >= record.stopAtPercent)
            return false;
    } else if (command == platform::kFormatDone) {
        record.doneFlags.push_back(*static_cast<std::uint8_t*>(info));
    } else if (command == platform::kFormatOutput) {
        auto* output = static_cast<platform::FormatTextOutput*>(info);
        record.lines.push_back(output->output);
    }
    return true;
}

void FormatDrive(const std::wstring& root, bool quick, FormatRecord& record, const wchar_t* fileSystem)
{
    auto module = platform::LoadLibraryW(L"fmifs.dll");
    ASSERT_NE(module, nullptr);
    auto formatEx = reinterpret_cast<platform::FormatExFunction>(platform::GetProcAddress(module, "FormatEx"));
    ASSERT_NE(formatEx, nullptr);
    g_formatRecord = &record;
    formatEx(root.c_str(), 12, fileSystem, L"VarnMID", quick ? 1 : 0, 4096, RecordingCallback);
    g_formatRecord = nullptr;
}

OwnFormatOutcome FormatWithOwnWriter(const fs::path& image, std::uint64_t offset, std::uint64_t size,
    platform::Fat32Formatter::Settings settings, int stopAtPercent)
{
    OwnFormatOutcome outcome;
    auto device = platform::posix::FileSectorDevice::Open(image.string(), offset, size, 512, outcome.error);
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
    using platform::posix::MasterBootRecord;
    auto sectors = static_cast<std::uint32_t>(fs::file_size(image) / 512);
    MasterBootRecord record(0x1234ABCD);
    record.SetPartition(0, { 0, MasterBootRecord::kTypeFat32Lba, 2048, sectors - 2048 });
    std::fstream file(image, std::ios::binary | std::ios::in | std::ios::out);
    file.write(reinterpret_cast<const char*>(record.Bytes().data()), MasterBootRecord::kSize);
    return std::vector<std::uint8_t>(record.Bytes().begin(), record.Bytes().end());
}

} // namespace stick_test
