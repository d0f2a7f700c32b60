// Profile parsing on arbitrary file bytes, and the menu entry split on what it yields.
// The input's first line names the section and key looked up, the rest is the file; a few fixed
// lookups of the names the program reads run as well.
#include "config/MenuConfig.h"
#include "platform/profile/ProfileText.h"

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

void LookUp(std::string_view file, const std::wstring& section, const std::wstring& key)
{
    std::wstring value = platform::ReadProfileString(file, section, key, L"");
    wchar_t buffer[260];
    std::uint32_t length = platform::CopyToProfileBuffer(value, buffer, 260);
    Check(length <= 259 && buffer[length] == L'\0');
    std::wstring read(buffer, length);
    Check(read.find_first_of(L"\r\n") == std::wstring::npos);

    MenuEntry entry = SplitMenuEntry(read);
    std::size_t split = entry.caption.size() + (entry.value ? entry.value->size() + 2 : 0);
    Check(split <= read.size());
    Check(read.compare(0, entry.caption.size(), entry.caption) == 0);
    if (entry.value)
        Check(read.compare(read.size() - entry.value->size(), entry.value->size(), *entry.value) == 0);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::string_view input(reinterpret_cast<const char*>(data), size);
    std::size_t newline = input.find('\n');
    std::string_view names = newline == std::string_view::npos ? std::string_view() : input.substr(0, newline);
    std::string_view file = newline == std::string_view::npos ? input : input.substr(newline + 1);

    std::size_t tab = names.find('\t');
    std::wstring decodedNames = platform::DecodeProfileBytes(names);
    std::size_t wideTab = decodedNames.find(L'\t');
    if (tab != std::string_view::npos && wideTab != std::wstring::npos)
        LookUp(file, decodedNames.substr(0, wideTab), decodedNames.substr(wideTab + 1));

    LookUp(file, L"Global", L"ListFile");
    LookUp(file, L"Model", L"Model1");
    LookUp(file, L"OS", L"OS5");
    LookUp(file, L"B_L_App", L"App30");
    LookUp(file, L"Global", L"");
    return 0;
}
