#include "config/MenuConfig.h"

#include "platform/Profile.h"
#include "shared/Globals.h"

namespace {

constexpr int kAppEntryLimit = 30;

std::wstring CutAtLastBackslash(const std::wstring& path)
{
    size_t backslash = path.rfind(L'\\');
    return backslash == std::wstring::npos ? path : path.substr(0, backslash);
}

} // namespace

std::wstring ReadMenuString(const std::wstring& section, const std::wstring& key)
{
    wchar_t buffer[kPathBufferSize] = {};
    std::wstring file = std::wstring(g_szAppDir) + L"index.ini";
    std::uint32_t length = platform::GetPrivateProfileStringW(section, key, L"", buffer, kPathBufferSize, file);
    return std::wstring(buffer, length);
}

MenuEntry SplitMenuEntry(const std::wstring& text)
{
    size_t firstQuote = text.find(L'"');
    if (firstQuote == std::wstring::npos)
        return { text, std::nullopt };
    size_t secondQuote = text.find(L'"', firstQuote + 1);
    if (secondQuote == std::wstring::npos)
        return { text.substr(0, firstQuote), std::nullopt };
    return { text.substr(0, firstQuote), text.substr(secondQuote + 1) };
}

// Cutting twice at the last backslash climbs from "E:\AUTORUN\" to "E:". For an executable at a
// drive's root ("E:\") the second cut finds no backslash and leaves "E:" too, so that
// "E:" + "\" + ListFile still names a file on that drive.
std::wstring GetMenuBaseFolder()
{
    return CutAtLastBackslash(CutAtLastBackslash(g_szAppDir));
}

std::wstring GetAppSectionName()
{
    std::wstring modelToken = ReadMenuString(L"Global", g_szModel);
    std::wstring osToken = ReadMenuString(L"Global", g_szOS);
    return modelToken + L"_" + osToken + L"_App";
}

int CountAppEntries(const std::wstring& section)
{
    int count = 0;
    for (int number = 1; number <= kAppEntryLimit; ++number) {
        if (!ReadMenuString(section, L"App" + std::to_wstring(number)).empty())
            ++count;
    }
    return count;
}
