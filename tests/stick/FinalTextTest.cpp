// The text a job ends with, for each outcome.

#include "platform/files/Utf8.h"
#include "shared/LibraryText.h"
#include "stick/FinalText.h"
#include "uilib/CzTextLibrary.h"

#include <gtest/gtest.h>

namespace {

// Every outcome ends with its own text from the library; only "too small" and "missing
// program" put the job's argument into their "%s".
TEST(FinalText, EachOutcomeEndsWithItsText)
{
    z32InitZEZivu(FromUtf8(ARKEVEN_SOURCE_DIR "/resources/Localization"), 0);
    using Outcome = StickJob::Outcome;
    struct Case {
        Outcome outcome;
        unsigned textId;
        const wchar_t* argument;
        const wchar_t* formatted; // the text with the argument in it, where it takes one
    };
    const Case cases[] = {
        { Outcome::Ready, 25, L"", nullptr },
        { Outcome::Failed, 27, L"%s", nullptr },
        { Outcome::Running, 27, L"", nullptr },
        { Outcome::NoRights, 28, L"", nullptr },
        { Outcome::StickTooSmall, 29, L"512 MB", L"This stick is too small. Use a stick of at least 512 MB." },
        { Outcome::CdIncomplete, 30, L"", nullptr },
        { Outcome::ProgramMissing, 31, L"mcopy (mtools)", L"A program needed to write the stick is missing: mcopy (mtools)." },
        { Outcome::StickChanged, 32, L"", nullptr },
        { Outcome::WriteProtected, 33, L"", nullptr },
        { Outcome::InUse, 34, L"", nullptr },
        { Outcome::LayoutFailed, 35, L"", nullptr },
    };
    for (const Case& c : cases) {
        StickJob::Listener listener;
        StickJob job(platform::Sticks::System(), { L'E', L"stick-1" }, L"D:", listener);
        job.EndAsReported(c.outcome, "cause", c.argument);
        std::wstring expected = c.formatted ? c.formatted : LibraryText(c.textId);
        EXPECT_FALSE(expected.empty()) << "text " << c.textId;
        EXPECT_EQ(FinalTextOf(job), expected) << "text " << c.textId;
    }
}

} // namespace
