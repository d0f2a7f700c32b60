// The stick job helper's report lines, as the window reads them: arbitrary bytes, line by line.
// Every line the reader accepts must say the same once written again and read back.
#include "stick/JobReportLine.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

void Check(bool condition)
{
    if (!condition)
        std::abort();
}

std::string Written(const JobReportLine& report)
{
    switch (report.kind) {
    case JobReportLine::Kind::Stage:
        return JobReportLine::Stage(report.letter, static_cast<StickJob::Stage>(report.first));
    case JobReportLine::Kind::FormatProgress:
        return JobReportLine::FormatProgress(report.letter, static_cast<std::uint32_t>(report.first));
    case JobReportLine::Kind::FormatDone:
        return JobReportLine::FormatDone(report.letter, report.first == 1);
    case JobReportLine::Kind::CopyProgress:
        return JobReportLine::CopyProgress(report.letter, report.first, report.second);
    case JobReportLine::Kind::CopyDone:
        return JobReportLine::CopyDone(report.letter, static_cast<std::size_t>(report.first));
    case JobReportLine::Kind::Console:
        return JobReportLine::Console(report.letter, report.text);
    case JobReportLine::Kind::End:
        return JobReportLine::End(report.letter, static_cast<StickJob::Outcome>(report.first), report.text, report.argument);
    }
    return {};
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::string_view input(reinterpret_cast<const char*>(data), size);
    std::size_t start = 0;
    while (start <= input.size()) {
        std::size_t end = input.find('\n', start);
        std::string line(input.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
        if (auto report = JobReportLine::Parse(line)) {
            Check(report->letter >= L'A' && report->letter <= L'Z');
            std::string again = Written(*report);
            Check(again.find_first_of("\r\n\t") == std::string::npos);
            auto reread = JobReportLine::Parse(again);
            Check(reread && reread->kind == report->kind && reread->letter == report->letter && reread->first == report->first
                && reread->second == report->second && reread->text == report->text && reread->argument == report->argument);
        }
        if (end == std::string_view::npos)
            break;
        start = end + 1;
    }
    return 0;
}
