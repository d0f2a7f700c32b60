#include "StickTestSupport.h"

#include "platform/Format.h"

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

} // namespace stick_test
