// The system's language from the locale settings (LC_ALL, LC_MESSAGES, LANG), as a LANGID.
#include "platform/Process.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <map>

namespace platform {

namespace {

constexpr std::uint16_t kEnglishUnitedStates = 0x0409;
constexpr std::uint16_t kSublangDefault = 0x01;

constexpr std::uint16_t MakeLangId(std::uint16_t primary, std::uint16_t sublanguage)
{
    return static_cast<std::uint16_t>((sublanguage << 10) | primary);
}

// Language and territory to LANGID, for the locales a user of the CD plausibly runs.
const std::map<std::string, std::uint16_t>& LocaleTable()
{
    static const std::map<std::string, std::uint16_t> table = {
        { "ar_EG", 0x0C01 }, { "ar_SA", 0x0401 }, { "bg_BG", 0x0402 }, { "ca_ES", 0x0403 },
        { "cs_CZ", 0x0405 }, { "da_DK", 0x0406 }, { "de_AT", 0x0C07 }, { "de_CH", 0x0807 },
        { "de_DE", 0x0407 }, { "de_LI", 0x1407 }, { "de_LU", 0x1007 }, { "el_GR", 0x0408 },
        { "en_AU", 0x0C09 }, { "en_CA", 0x1009 }, { "en_GB", 0x0809 }, { "en_IE", 0x1809 },
        { "en_IN", 0x4009 }, { "en_NZ", 0x1409 }, { "en_US", 0x0409 }, { "en_ZA", 0x1C09 },
        { "es_AR", 0x2C0A }, { "es_CL", 0x340A }, { "es_CO", 0x240A }, { "es_ES", 0x0C0A },
        { "es_MX", 0x080A }, { "es_US", 0x540A }, { "et_EE", 0x0425 }, { "fi_FI", 0x040B },
        { "fr_BE", 0x080C }, { "fr_CA", 0x0C0C }, { "fr_CH", 0x100C }, { "fr_FR", 0x040C },
        { "fr_LU", 0x140C }, { "he_IL", 0x040D }, { "hr_HR", 0x041A }, { "hu_HU", 0x040E },
        { "id_ID", 0x0421 }, { "it_CH", 0x0810 }, { "it_IT", 0x0410 }, { "ja_JP", 0x0411 },
        { "ko_KR", 0x0412 }, { "lt_LT", 0x0427 }, { "lv_LV", 0x0426 }, { "nb_NO", 0x0414 },
        { "nl_BE", 0x0813 }, { "nl_NL", 0x0413 }, { "nn_NO", 0x0814 }, { "pl_PL", 0x0415 },
        { "pt_BR", 0x0416 }, { "pt_PT", 0x0816 }, { "ro_RO", 0x0418 }, { "ru_RU", 0x0419 },
        { "sk_SK", 0x041B }, { "sl_SI", 0x0424 }, { "sv_FI", 0x081D }, { "sv_SE", 0x041D },
        { "th_TH", 0x041E }, { "tr_TR", 0x041F }, { "uk_UA", 0x0422 }, { "vi_VN", 0x042A },
        { "zh_CN", 0x0804 }, { "zh_HK", 0x0C04 }, { "zh_MO", 0x1404 }, { "zh_SG", 0x1004 },
        { "zh_TW", 0x0404 },
    };
    return table;
}

// Primary language numbers (the low ten bits of a LANGID).
const std::map<std::string, std::uint16_t>& LanguageTable()
{
    static const std::map<std::string, std::uint16_t> table = {
        { "ar", 0x01 }, { "bg", 0x02 }, { "ca", 0x03 }, { "zh", 0x04 }, { "cs", 0x05 }, { "da", 0x06 },
        { "de", 0x07 }, { "el", 0x08 }, { "en", 0x09 }, { "es", 0x0A }, { "fi", 0x0B }, { "fr", 0x0C },
        { "he", 0x0D }, { "hu", 0x0E }, { "it", 0x10 }, { "ja", 0x11 }, { "ko", 0x12 }, { "nl", 0x13 },
        { "nb", 0x14 }, { "nn", 0x14 }, { "no", 0x14 }, { "pl", 0x15 }, { "pt", 0x16 }, { "ro", 0x18 },
        { "ru", 0x19 }, { "hr", 0x1A }, { "sk", 0x1B }, { "sv", 0x1D }, { "th", 0x1E }, { "tr", 0x1F },
        { "id", 0x21 }, { "uk", 0x22 }, { "sl", 0x24 }, { "et", 0x25 }, { "lv", 0x26 }, { "lt", 0x27 },
        { "vi", 0x2A },
    };
    return table;
}

std::string Lowered(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

std::string Uppered(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::toupper(c); });
    return text;
}

} // namespace

// "ll_TT.codeset@modifier": the codeset and modifier are dropped; "ll-TT" is taken too. A known
// language in an unlisted territory gets the language's default sublanguage; anything else,
// "C" and "POSIX" included, is US English.
std::uint16_t LangIdFromLocaleName(const std::string& locale)
{
    std::string name = locale.substr(0, locale.find_first_of(".@"));
    size_t separator = name.find_first_of("_-");
    std::string language = Lowered(name.substr(0, separator));
    std::string territory = separator == std::string::npos ? std::string() : Uppered(name.substr(separator + 1));

    if (!territory.empty()) {
        auto found = LocaleTable().find(language + "_" + territory);
        if (found != LocaleTable().end())
            return found->second;
    }
    auto primary = LanguageTable().find(language);
    if (primary == LanguageTable().end())
        return kEnglishUnitedStates;
    return MakeLangId(primary->second, kSublangDefault);
}

// The variables in the order the C library gives them precedence for messages.
std::uint16_t GetSystemDefaultLangID()
{
    for (const char* variable : { "LC_ALL", "LC_MESSAGES", "LANG" }) {
        const char* value = std::getenv(variable);
        if (value != nullptr && *value != '\0')
            return LangIdFromLocaleName(value);
    }
    return kEnglishUnitedStates;
}

} // namespace platform
