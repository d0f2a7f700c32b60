#include "platform/Process.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>

namespace {

TEST(SystemLanguage, KnownLocalesMapToTheirLanguageIds)
{
    struct Case { const char* locale; std::uint16_t langId; };
    for (Case c : { Case { "it_IT", 0x0410 }, { "it_CH", 0x0810 }, { "zh_TW", 0x0404 }, { "zh_CN", 0x0804 },
             { "en_US", 0x0409 }, { "en_GB", 0x0809 }, { "de_DE", 0x0407 }, { "de_CH", 0x0807 },
             { "fr_FR", 0x040C }, { "fr_CH", 0x100C }, { "es_ES", 0x0C0A }, { "pt_BR", 0x0416 },
             { "pt_PT", 0x0816 }, { "ja_JP", 0x0411 }, { "ko_KR", 0x0412 }, { "ru_RU", 0x0419 },
             { "nl_NL", 0x0413 }, { "pl_PL", 0x0415 } })
        EXPECT_EQ(platform::LangIdFromLocaleName(c.locale), c.langId) << c.locale;
}

TEST(SystemLanguage, CodesetModifierAndSpellingVariantsAreIgnored)
{
    EXPECT_EQ(platform::LangIdFromLocaleName("it_IT.UTF-8"), 0x0410);
    EXPECT_EQ(platform::LangIdFromLocaleName("de_DE@euro"), 0x0407);
    EXPECT_EQ(platform::LangIdFromLocaleName("de_CH.ISO-8859-1@euro"), 0x0807);
    EXPECT_EQ(platform::LangIdFromLocaleName("it-ch"), 0x0810);
    EXPECT_EQ(platform::LangIdFromLocaleName("ZH_tw.utf8"), 0x0404);
}

TEST(SystemLanguage, LanguageAloneGivesItsDefaultSublanguage)
{
    EXPECT_EQ(platform::LangIdFromLocaleName("it"), 0x0410);
    EXPECT_EQ(platform::LangIdFromLocaleName("it.UTF-8"), 0x0410);
    EXPECT_EQ(platform::LangIdFromLocaleName("de"), 0x0407);
    EXPECT_EQ(platform::LangIdFromLocaleName("it_XX"), 0x0410) << "unlisted territory, known language";
}

TEST(SystemLanguage, UnknownOrNeutralLocalesAreUsEnglish)
{
    for (const char* locale : { "C", "POSIX", "", "C.UTF-8", "xx_YY", "klingon", "_IT", ".UTF-8", "@euro" })
        EXPECT_EQ(platform::LangIdFromLocaleName(locale), 0x0409) << '"' << locale << '"';
}

class LocaleEnvironment : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (const char* name : kVariables) {
            const char* value = std::getenv(name);
            m_saved.push_back(value ? std::optional<std::string>(value) : std::nullopt);
            unsetenv(name);
        }
    }
    void TearDown() override
    {
        for (size_t i = 0; i < std::size(kVariables); ++i) {
            if (m_saved[i])
                setenv(kVariables[i], m_saved[i]->c_str(), 1);
            else
                unsetenv(kVariables[i]);
        }
    }

    static constexpr const char* kVariables[] = { "LC_ALL", "LC_MESSAGES", "LANG" };
    std::vector<std::optional<std::string>> m_saved;
};

TEST_F(LocaleEnvironment, FirstNonEmptyOfLcAllLcMessagesLang)
{
    EXPECT_EQ(platform::GetSystemDefaultLangID(), 0x0409);
    setenv("LANG", "de_CH.UTF-8", 1);
    EXPECT_EQ(platform::GetSystemDefaultLangID(), 0x0807);
    setenv("LC_MESSAGES", "it_IT.UTF-8", 1);
    EXPECT_EQ(platform::GetSystemDefaultLangID(), 0x0410);
    setenv("LC_ALL", "", 1);
    EXPECT_EQ(platform::GetSystemDefaultLangID(), 0x0410) << "an empty LC_ALL is passed over";
    setenv("LC_ALL", "zh_TW.UTF-8", 1);
    EXPECT_EQ(platform::GetSystemDefaultLangID(), 0x0404);
}

} // namespace
