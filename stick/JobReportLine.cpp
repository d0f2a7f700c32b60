#include "stick/JobReportLine.h"

#include "platform/files/Utf8.h"

#include <vector>

const char* const JobReportLine::kGreeting = "arkeven stick helper 1";

namespace {

constexpr std::int64_t kLastStage = static_cast<std::int64_t>(StickJob::Stage::Installing);
// Any outcome but Running; a number the program does not know is shown as a failure.
constexpr std::int64_t kLastOutcomeNumber = 255;
// Far above any file the job copies (FAT32's 4 GiB), far below what 64 bits hold.
constexpr std::int64_t kLargestSize = std::int64_t(1) << 50;

struct KindName {
    JobReportLine::Kind kind;
    const char* name;
};
const KindName kKindNames[] = {
    { JobReportLine::Kind::Stage, "stage" },
    { JobReportLine::Kind::FormatProgress, "format-progress" },
    { JobReportLine::Kind::FormatDone, "format-done" },
    { JobReportLine::Kind::CopyProgress, "copy-progress" },
    { JobReportLine::Kind::CopyDone, "copy-done" },
    { JobReportLine::Kind::Console, "console" },
    { JobReportLine::Kind::End, "end" },
};

const char* NameOf(JobReportLine::Kind kind)
{
    for (const KindName& entry : kKindNames) {
        if (entry.kind == kind)
            return entry.name;
    }
    return "";
}

std::string Start(wchar_t letter, JobReportLine::Kind kind)
{
    return std::string(1, static_cast<char>(letter)) + " " + NameOf(kind);
}

std::string Escaped(const std::string& text)
{
    static const char kHex[] = "0123456789ABCDEF";
    std::string escaped = ":";
    for (unsigned char byte : text) {
        if (byte > 0x20 && byte < 0x7F && byte != '%') {
            escaped += static_cast<char>(byte);
        } else {
            escaped += '%';
            escaped += kHex[byte >> 4];
            escaped += kHex[byte & 0xF];
        }
    }
    return escaped;
}

int HexValue(char digit)
{
    if (digit >= '0' && digit <= '9')
        return digit - '0';
    if (digit >= 'A' && digit <= 'F')
        return digit - 'A' + 10;
    return -1;
}

std::optional<std::string> Unescaped(const std::string& field)
{
    if (field.empty() || field[0] != ':')
        return std::nullopt;
    std::string text;
    for (std::size_t index = 1; index < field.size(); ++index) {
        char character = field[index];
        if (character != '%') {
            text += character;
            continue;
        }
        if (index + 2 >= field.size())
            return std::nullopt;
        int high = HexValue(field[index + 1]);
        int low = HexValue(field[index + 2]);
        if (high < 0 || low < 0)
            return std::nullopt;
        text += static_cast<char>(high * 16 + low);
        index += 2;
    }
    return text;
}

// Decimal digits only, at most 18 of them, within [low, high].
std::optional<std::int64_t> Number(const std::string& field, std::int64_t low, std::int64_t high)
{
    if (field.empty() || field.size() > 18)
        return std::nullopt;
    std::int64_t value = 0;
    for (char digit : field) {
        if (digit < '0' || digit > '9')
            return std::nullopt;
        value = value * 10 + (digit - '0');
    }
    if (value < low || value > high)
        return std::nullopt;
    return value;
}

std::vector<std::string> Fields(const std::string& line)
{
    std::vector<std::string> fields;
    std::size_t start = 0;
    while (true) {
        std::size_t blank = line.find(' ', start);
        fields.push_back(line.substr(start, blank == std::string::npos ? std::string::npos : blank - start));
        if (blank == std::string::npos)
            return fields;
        start = blank + 1;
    }
}

} // namespace

std::string JobReportLine::Stage(wchar_t letter, StickJob::Stage stage)
{
    return Start(letter, Kind::Stage) + " " + std::to_string(static_cast<int>(stage));
}

std::string JobReportLine::FormatProgress(wchar_t letter, std::uint32_t percent)
{
    return Start(letter, Kind::FormatProgress) + " " + std::to_string(percent);
}

std::string JobReportLine::FormatDone(wchar_t letter, bool succeeded)
{
    return Start(letter, Kind::FormatDone) + (succeeded ? " 1" : " 0");
}

std::string JobReportLine::CopyProgress(wchar_t letter, std::int64_t total, std::int64_t transferred)
{
    return Start(letter, Kind::CopyProgress) + " " + std::to_string(total) + " " + std::to_string(transferred);
}

std::string JobReportLine::CopyDone(wchar_t letter, std::size_t step)
{
    return Start(letter, Kind::CopyDone) + " " + std::to_string(step);
}

std::string JobReportLine::Console(wchar_t letter, const std::string& text)
{
    return Start(letter, Kind::Console) + " " + Escaped(text);
}

std::string JobReportLine::End(wchar_t letter, StickJob::Outcome outcome, const std::string& cause, const std::wstring& argument)
{
    return Start(letter, Kind::End) + " " + std::to_string(static_cast<int>(outcome)) + " " + Escaped(cause) + " "
        + Escaped(ToUtf8(argument));
}

std::optional<JobReportLine> JobReportLine::Parse(const std::string& line)
{
    if (line.size() > kMaxLength)
        return std::nullopt;
    std::vector<std::string> fields = Fields(line);
    if (fields.size() < 3 || fields[0].size() != 1 || fields[0][0] < 'A' || fields[0][0] > 'Z')
        return std::nullopt;
    JobReportLine report;
    report.letter = static_cast<wchar_t>(fields[0][0]);
    bool known = false;
    for (const KindName& entry : kKindNames) {
        if (fields[1] == entry.name) {
            report.kind = entry.kind;
            known = true;
        }
    }
    if (!known)
        return std::nullopt;

    std::size_t expected = 3;
    std::optional<std::int64_t> first;
    switch (report.kind) {
    case Kind::Stage:
        first = Number(fields[2], 0, kLastStage);
        break;
    case Kind::FormatProgress:
        first = Number(fields[2], 0, 100);
        break;
    case Kind::FormatDone:
        first = Number(fields[2], 0, 1);
        break;
    case Kind::CopyProgress:
        expected = 4;
        first = Number(fields[2], 0, kLargestSize);
        break;
    case Kind::CopyDone:
        first = Number(fields[2], 0, static_cast<std::int64_t>(StickJob::kCopyCount) - 1);
        break;
    case Kind::Console:
        first = 0;
        break;
    case Kind::End:
        expected = 5;
        first = Number(fields[2], 1, kLastOutcomeNumber);
        break;
    }
    if (fields.size() != expected || !first)
        return std::nullopt;
    report.first = *first;

    if (report.kind == Kind::CopyProgress) {
        auto transferred = Number(fields[3], 0, report.first);
        if (!transferred)
            return std::nullopt;
        report.second = *transferred;
    } else if (report.kind == Kind::Console) {
        auto text = Unescaped(fields[2]);
        if (!text || text->empty())
            return std::nullopt;
        report.text = *text;
    } else if (report.kind == Kind::End) {
        auto cause = Unescaped(fields[3]);
        auto argument = Unescaped(fields[4]);
        if (!cause || !argument || !IsValidUtf8(*argument))
            return std::nullopt;
        report.text = *cause;
        report.argument = FromUtf8(*argument);
    }
    return report;
}

void JobReportLine::Deliver(StickJob::Listener& listener) const
{
    switch (kind) {
    case Kind::Stage:
        listener.OnStage(static_cast<StickJob::Stage>(first));
        break;
    case Kind::FormatProgress:
        listener.OnFormatProgress(static_cast<std::uint32_t>(first));
        break;
    case Kind::FormatDone:
        listener.OnFormatDone(first == 1);
        break;
    case Kind::CopyProgress:
        listener.OnCopyProgress(first, second);
        break;
    case Kind::CopyDone:
        listener.OnCopyDone(static_cast<std::size_t>(first));
        break;
    case Kind::Console:
        listener.OnConsole(text);
        break;
    case Kind::End:
        break;
    }
}
