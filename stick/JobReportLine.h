#pragma once

#include "stick/StickJob.h"

#include <cstdint>
#include <optional>
#include <string>

// One report of a stick job that runs in the helper process, as a line of text on the pipe back
// to the program: the drive letter of the request, what happened, its values. Texts travel
// percent-escaped after a colon, so a line holds no blank but its separators and no byte
// outside printable ASCII:
//
//   arkeven stick helper 1                  the helper's greeting, its first line
//   E stage 1                               StickJob::Stage
//   E format-progress 37                    0..100
//   E format-done 1                         1 succeeded, 0 failed
//   E copy-progress 1048576 524288          total, transferred
//   E copy-done 2                           the copy step
//   E console :check:%20drive%20E:...       a console diagnostic
//   E end 4 :cause :argument                the outcome's number, Cause(), CauseArgument()
//
// The outcome travels as its number, so every outcome the job has passes unchanged. What the
// helper sends is read as untrusted input: a line that is not exactly one of these is refused.
struct JobReportLine {
    enum class Kind { Stage, FormatProgress, FormatDone, CopyProgress, CopyDone, Console, End };

    static const char* const kGreeting;
    // The longest line a reader takes.
    static constexpr std::size_t kMaxLength = 16384;

    static std::string Stage(wchar_t letter, StickJob::Stage stage);
    static std::string FormatProgress(wchar_t letter, std::uint32_t percent);
    static std::string FormatDone(wchar_t letter, bool succeeded);
    static std::string CopyProgress(wchar_t letter, std::int64_t total, std::int64_t transferred);
    static std::string CopyDone(wchar_t letter, std::size_t step);
    static std::string Console(wchar_t letter, const std::string& text);
    static std::string End(wchar_t letter, StickJob::Outcome outcome, const std::string& cause, const std::wstring& argument);

    // The report a line carries, without its line end; nullopt when it is none.
    static std::optional<JobReportLine> Parse(const std::string& line);

    // Tells the listener what this report says; an End is the caller's to deliver (it ends a job).
    void Deliver(StickJob::Listener& listener) const;

    wchar_t letter = 0;
    Kind kind = Kind::Console;
    std::int64_t first = 0;  // the stage, percentage, success, total, step or outcome
    std::int64_t second = 0; // copy-progress: transferred
    std::string text;        // console: the text; end: the cause
    std::wstring argument;   // end: the final text's argument
};
