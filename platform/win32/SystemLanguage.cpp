// The system's language, as the program's text library asks for it.
#include "platform/Process.h"

#include "platform/files/Utf8.h"

#include <windows.h>

namespace platform {

std::uint16_t GetSystemDefaultLangID()
{
    return ::GetSystemDefaultLangID();
}

// "ll_TT.codeset@modifier" through the system's own locale names ("ll-TT"). A known language
// in an unknown territory gets its default sublanguage; anything else is US English.
std::uint16_t LangIdFromLocaleName(const std::string& locale)
{
    constexpr std::uint16_t kEnglishUnitedStates = 0x0409;
    std::string name = locale.substr(0, locale.find_first_of(".@"));
    for (char& c : name) {
        if (c == '_')
            c = '-';
    }
    if (name.empty() || name == "C" || name == "POSIX")
        return kEnglishUnitedStates;
    auto lookUp = [](const std::string& localeName) -> LANGID {
        LCID lcid = ::LocaleNameToLCID(FromUtf8(localeName).c_str(), 0);
        return lcid == 0 ? 0 : LANGIDFROMLCID(lcid);
    };
    LANGID langId = lookUp(name);
    if (langId != 0 && SUBLANGID(langId) != SUBLANG_NEUTRAL)
        return langId;
    LANGID language = lookUp(name.substr(0, name.find('-')));
    if (language == 0)
        return kEnglishUnitedStates;
    return MAKELANGID(PRIMARYLANGID(language), SUBLANG_DEFAULT);
}

} // namespace platform
