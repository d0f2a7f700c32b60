// The Localization file parser on arbitrary bytes: it must never fail, and what it keeps must be
// what the format allows.
#include "uilib/CzTextLibrary.h"
#include "uilib/TextFormat.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

namespace {

void Check(bool condition)
{
    if (!condition)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::string_view bytes(reinterpret_cast<const char*>(data), size);
    CzTextLibrary::ParsedFile parsed = CzTextLibrary::Parse(bytes);

    std::size_t previousLine = 0;
    for (std::size_t line : parsed.rejectedLines) {
        Check(line > previousLine);
        previousLine = line;
    }
    for (const auto& [id, text] : parsed.texts) {
        Check(id <= CzTextLibrary::kLargestId);
        Check(!text.empty());
        Check(text.find(L'\0') == std::wstring::npos);
        Check(text.find(L'\r') == std::wstring::npos);
        // Each text also goes through the formatter as the windows use it.
        Check(FormatText(text, L"model", 260).size() <= 259);
        Check(FormatText(text, nullptr, 260).size() <= 259);
    }
    return 0;
}
