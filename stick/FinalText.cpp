#include "stick/FinalText.h"

#include "shared/LibraryText.h"
#include "uilib/TextFormat.h"

namespace {

constexpr unsigned kTextReady = 25;
constexpr unsigned kTextFailed = 27;
constexpr unsigned kTextNoRights = 28;
constexpr unsigned kTextTooSmall = 29;
constexpr unsigned kTextCdIncomplete = 30;
constexpr unsigned kTextProgramMissing = 31;
constexpr unsigned kTextStickChanged = 32;
constexpr unsigned kTextWriteProtected = 33;
constexpr unsigned kTextInUse = 34;
constexpr unsigned kTextLayoutFailed = 35;
constexpr size_t kLineBufferSize = 128;

unsigned FinalTextId(StickJob::Outcome outcome)
{
    switch (outcome) {
    case StickJob::Outcome::Ready:
        return kTextReady;
    case StickJob::Outcome::NoRights:
        return kTextNoRights;
    case StickJob::Outcome::StickTooSmall:
        return kTextTooSmall;
    case StickJob::Outcome::CdIncomplete:
        return kTextCdIncomplete;
    case StickJob::Outcome::ProgramMissing:
        return kTextProgramMissing;
    case StickJob::Outcome::StickChanged:
        return kTextStickChanged;
    case StickJob::Outcome::WriteProtected:
        return kTextWriteProtected;
    case StickJob::Outcome::InUse:
        return kTextInUse;
    case StickJob::Outcome::LayoutFailed:
        return kTextLayoutFailed;
    case StickJob::Outcome::Running:
    case StickJob::Outcome::Failed:
        break;
    }
    return kTextFailed;
}

} // namespace

std::wstring FinalTextOf(const StickJob& job)
{
    unsigned id = FinalTextId(job.Result());
    // These two name the least stick size or the missing programs through their one "%s".
    if (id == kTextTooSmall || id == kTextProgramMissing)
        return FormatText(LibraryText(id), job.CauseArgument().c_str(), kLineBufferSize);
    // The others are the argument of "%s", not formats of their own: shown as they are.
    return LibraryText(id).substr(0, kLineBufferSize - 1);
}
