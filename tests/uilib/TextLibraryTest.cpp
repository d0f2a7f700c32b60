#include "platform/Process.h"
#include "uilib/CzTextLibrary.h"
#include "uilib/TextFormat.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>

namespace {

namespace fs = std::filesystem;

constexpr std::uint16_t kItalian = 0x0410;
constexpr std::uint16_t kEnglish = 0x0409;
constexpr std::uint16_t kRussian = 0x0419;

std::vector<size_t> Lines(std::initializer_list<size_t> numbers) { return numbers; }

TEST(TextLibraryParse, ReadsIdTextLines)
{
    auto parsed = CzTextLibrary::Parse("2=Close\n  3 =  Minimize \t\n010=Leading zeros\n");
    EXPECT_EQ(parsed.texts.size(), 3u);
    EXPECT_EQ(parsed.texts[2], L"Close");
    EXPECT_EQ(parsed.texts[3], L"Minimize");
    EXPECT_EQ(parsed.texts[10], L"Leading zeros");
    EXPECT_TRUE(parsed.rejectedLines.empty());
}

TEST(TextLibraryParse, SkipsBlankAndCommentLinesAndHandlesMarksAndBreaks)
{
    auto parsed = CzTextLibrary::Parse("\xEF\xBB\xBF# comment\r\n; also a comment\r\n\r\n \t \r\n2=Chiudi\r\n3=a=b\r4=Città\n");
    EXPECT_EQ(parsed.texts[2], L"Chiudi");
    EXPECT_EQ(parsed.texts[3], L"a=b");
    EXPECT_EQ(parsed.texts[4], L"Città");
    EXPECT_TRUE(parsed.rejectedLines.empty());
    EXPECT_EQ(CzTextLibrary::Parse("\xEF\xBB\xBF" "5=x").texts.count(5), 1u) << "mark right before an ID";
}

TEST(TextLibraryParse, RejectsMalformedLinesAndKeepsTheRest)
{
    std::string file = "no equals sign\n"       // 1
                       "abc=not a number\n"     // 2
                       "-3=negative\n"          // 3
                       "65536=too large\n"      // 4
                       "99999999999999999999=x\n" // 5
                       "=no id\n"               // 6
                       "7=\n"                   // 7: empty text
                       "8=first\n"              // 8
                       "8=duplicate\n"          // 9
                       "9=bad \xC3\x28 byte\n"  // 10: invalid UTF-8
                       "10=\xEF\xBB\xBFok\n"    // 11: a mark inside a text is just a character
                       "1 1=inner blank\n"      // 12
                       "65535=largest\n";       // 13
    file += std::string("12=nul\0inside\n", 14); // 14
    auto parsed = CzTextLibrary::Parse(file);
    EXPECT_EQ(parsed.rejectedLines, Lines({ 1, 2, 3, 4, 5, 6, 7, 9, 10, 12, 14 }));
    EXPECT_EQ(parsed.texts[8], L"first");
    EXPECT_EQ(parsed.texts[10], L"\uFEFFok");
    EXPECT_EQ(parsed.texts[65535], L"largest");
    EXPECT_EQ(parsed.texts.size(), 3u);
}

TEST(TextLibraryParse, EscapesForLineBreaksAndBackslashes)
{
    auto parsed = CzTextLibrary::Parse("1=One\\nTwo\n2=C:\\\\path\n3=keep \\t and \\\n4=\\\\n\n");
    EXPECT_EQ(parsed.texts[1], L"One\nTwo");
    EXPECT_EQ(parsed.texts[2], L"C:\\path");
    EXPECT_EQ(parsed.texts[3], L"keep \\t and \\");
    EXPECT_EQ(parsed.texts[4], L"\\n");
}

TEST(TextLibraryParse, LanguageCodes)
{
    EXPECT_EQ(CzTextLibrary::LanguageCode(0x0410), "it");
    EXPECT_EQ(CzTextLibrary::LanguageCode(0x0810), "it");
    EXPECT_EQ(CzTextLibrary::LanguageCode(0x0809), "en");
    EXPECT_EQ(CzTextLibrary::LanguageCode(0x0404), "zh");
    EXPECT_EQ(CzTextLibrary::LanguageCode(0x007F), "");
}

class TextFolder : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::random_device random;
        m_folder = fs::temp_directory_path() / ("arkeven-texts-" + std::to_string(random()));
        fs::create_directories(m_folder);
    }
    void TearDown() override { fs::remove_all(m_folder); }

    void Write(const std::string& name, const std::string& bytes)
    {
        std::ofstream file(m_folder / name, std::ios::binary | std::ios::trunc);
        file << bytes;
    }

    std::wstring Folder() const { return m_folder.wstring(); }

    fs::path m_folder;
};

std::wstring TextOf(const CzTextLibrary& library, unsigned id)
{
    const wchar_t* text = library.GetString(id);
    return text ? text : L"<missing>";
}

TEST_F(TextFolder, SystemLanguageOverEnglishPerId)
{
    Write("en.txt", "2=Close\n3=Minimize\n4=Only English\n");
    Write("it.txt", "2=Chiudi\n3=\nbroken line\n5=Solo italiano\n");
    CzTextLibrary library;
    ASSERT_TRUE(library.Load(Folder(), kItalian));
    EXPECT_EQ(TextOf(library, 2), L"Chiudi");
    EXPECT_EQ(TextOf(library, 3), L"Minimize") << "an empty Italian text falls back";
    EXPECT_EQ(TextOf(library, 4), L"Only English");
    EXPECT_EQ(TextOf(library, 5), L"Solo italiano");
    EXPECT_EQ(library.GetString(6), nullptr);

    ASSERT_TRUE(library.Load(Folder() + L"/", kEnglish));
    EXPECT_EQ(TextOf(library, 2), L"Close");
    EXPECT_EQ(library.GetString(5), nullptr) << "a reload starts afresh";
}

TEST_F(TextFolder, MissingFilesFallBack)
{
    Write("en.txt", "2=Close\n");
    CzTextLibrary library;
    ASSERT_TRUE(library.Load(Folder(), kRussian));
    EXPECT_EQ(TextOf(library, 2), L"Close") << "no ru.txt: English";

    fs::remove(m_folder / "en.txt");
    Write("it.txt", "2=Chiudi\n");
    ASSERT_TRUE(library.Load(Folder(), kItalian));
    EXPECT_EQ(TextOf(library, 2), L"Chiudi") << "no en.txt: Italian alone";

    EXPECT_FALSE(library.Load(Folder(), kRussian));
    EXPECT_EQ(library.Count(), 0u);
    EXPECT_FALSE(library.Load((m_folder / "absent").wstring(), kItalian));
}

// The conversions in a text once its doubled percent signs are set aside.
std::vector<std::wstring> Conversions(const std::wstring& text)
{
    std::vector<std::wstring> found;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != L'%')
            continue;
        if (i + 1 < text.size() && text[i + 1] == L'%') {
            ++i;
            continue;
        }
        found.push_back(text.substr(i, 2));
    }
    return found;
}

CzTextLibrary::ParsedFile ShippedFile(const std::string& language)
{
    std::ifstream file(fs::path(ARKEVEN_SOURCE_DIR) / "resources/Localization" / (language + ".txt"), std::ios::binary);
    EXPECT_TRUE(file) << language;
    std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    return CzTextLibrary::Parse(bytes);
}

const char* const kTranslations[] = { "it", "de", "fr", "es" };

// The shipped texts: every ID the windows ask for in English, and every English ID in each
// other language with the same conversions, so a translation never loses or adds an argument.
TEST(ShippedTexts, CompleteWellFormedAndShort)
{
    const unsigned idsInUse[] = { 2, 3, 4, 5, 8, 9, 10, 12, 13, 15, 16, 17, 20, 22, 24, 25, 26, 27 };
    const unsigned buttonIds[] = { 2, 3, 4, 5, 8, 9, 12, 13, 26 };
    auto english = ShippedFile("en");
    EXPECT_TRUE(english.rejectedLines.empty());
    for (unsigned id : idsInUse)
        EXPECT_EQ(english.texts.count(id), 1u) << "text " << id;
    // Only text 10 takes an argument among the window texts; elsewhere a percent sign is doubled.
    EXPECT_EQ(Conversions(english.texts[10]), std::vector<std::wstring> { L"%s" });
    EXPECT_TRUE(Conversions(english.texts[24]).empty());

    for (const char* language : kTranslations) {
        SCOPED_TRACE(language);
        auto parsed = ShippedFile(language);
        EXPECT_TRUE(parsed.rejectedLines.empty());
        for (auto& [id, text] : english.texts) {
            ASSERT_EQ(parsed.texts.count(id), 1u) << "text " << id;
            EXPECT_EQ(Conversions(parsed.texts[id]), Conversions(text)) << "text " << id;
        }
        EXPECT_NE(FormatText(parsed.texts[10], L"<model>", 260).find(L"<model>"), std::wstring::npos);
        for (unsigned id : buttonIds)
            EXPECT_LE(parsed.texts[id].size(), 20u) << "button text " << id;
    }
}

// A German, French or Spanish system reads its own file over English.
TEST(ShippedTexts, TheSystemLanguageChoosesTheFile)
{
    std::wstring folder = (fs::path(ARKEVEN_SOURCE_DIR) / "resources/Localization").wstring();
    const char* saved = std::getenv("LC_ALL");
    std::string savedValue = saved ? saved : "";
    for (auto [locale, language] : { std::pair { "de_DE.UTF-8", "de" }, { "fr_CA.UTF-8", "fr" }, { "es_MX", "es" } }) {
        SCOPED_TRACE(locale);
        setenv("LC_ALL", locale, 1);
        CzTextLibrary library;
        ASSERT_TRUE(library.Load(folder, platform::GetSystemDefaultLangID()));
        auto expected = ShippedFile(language);
        for (unsigned id : { 2u, 16u, 25u })
            EXPECT_EQ(TextOf(library, id), expected.texts[id]) << "text " << id;
    }
    if (saved)
        setenv("LC_ALL", savedValue.c_str(), 1);
    else
        unsetenv("LC_ALL");
}

class SystemLanguage : public ::testing::Test {
protected:
    void SetUp() override
    {
        const char* saved = std::getenv("LC_ALL");
        m_saved = saved ? saved : "";
        m_hadValue = saved != nullptr;
        setenv("LC_ALL", "it_CH.UTF-8", 1);
    }
    void TearDown() override
    {
        if (m_hadValue)
            setenv("LC_ALL", m_saved.c_str(), 1);
        else
            unsetenv("LC_ALL");
    }
    std::string m_saved;
    bool m_hadValue = false;
};

// The process-wide entry points load once; this is the only test that calls them.
TEST_F(SystemLanguage, EntryPointsLoadOnceForTheSystemLanguage)
{
    EXPECT_EQ(z32MLGetString(2), nullptr) << "nothing before initialisation";
    std::wstring folder = (fs::path(ARKEVEN_SOURCE_DIR) / "resources/Localization").wstring();
    EXPECT_FALSE(z32InitZEZivu(L"/nonexistent/Localization", 0));
    EXPECT_EQ(z32MLGetString(2), nullptr);
    ASSERT_TRUE(z32InitZEZivu(folder, 0));
    ASSERT_NE(z32MLGetString(2), nullptr);
    EXPECT_EQ(std::wstring(z32MLGetString(2)), L"Chiudi");
    EXPECT_EQ(z32MLGetString(1), nullptr);

    const wchar_t* before = z32MLGetString(24);
    setenv("LC_ALL", "en_US.UTF-8", 1);
    EXPECT_FALSE(z32InitZEZivu(folder, 0)) << "texts are loaded once";
    EXPECT_EQ(z32MLGetString(24), before) << "pointers stay valid";
    EXPECT_EQ(std::wstring(z32MLGetString(24)), L"completato");
}

} // namespace
