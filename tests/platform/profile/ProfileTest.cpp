#include "platform/Profile.h"
#include "platform/profile/ProfileText.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>

namespace {

namespace fs = std::filesystem;

class ProfileFile : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::random_device random;
        m_folder = fs::temp_directory_path() / ("arkeven-profile-" + std::to_string(random()));
        fs::create_directories(m_folder);
    }
    void TearDown() override { fs::remove_all(m_folder); }

    void Write(const std::string& bytes)
    {
        std::ofstream file(m_folder / "index.ini", std::ios::binary | std::ios::trunc);
        file << bytes;
    }

    std::wstring Path() const { return (m_folder / "index.ini").wstring(); }

    std::wstring Read(const std::wstring& section, const std::wstring& key, const std::wstring& defaultValue = L"",
        std::uint32_t size = 260)
    {
        std::vector<wchar_t> buffer(size + 1, L'#');
        std::uint32_t length = platform::GetPrivateProfileStringW(section, key, defaultValue, buffer.data(), size, Path());
        if (size > 0) {
            EXPECT_EQ(buffer[length], L'\0') << "result not terminated after its reported length";
            EXPECT_LT(length, size);
        }
        return std::wstring(buffer.data(), length);
    }

    fs::path m_folder;
};

std::wstring Find(const std::string& file, const std::wstring& section, const std::wstring& key)
{
    return platform::ReadProfileString(file, section, key, L"<none>");
}

TEST_F(ProfileFile, NamesMatchWithoutRegardToCaseOrSurroundingBlanks)
{
    Write("[ Global ]\n  ListFile  =  Docs\\Readme.htm  \n[CITTÀ]\nÉtat=1\n");
    EXPECT_EQ(Read(L"global", L"LISTFILE"), L"Docs\\Readme.htm");
    EXPECT_EQ(Read(L"  GLOBAL\t", L" listfile "), L"Docs\\Readme.htm");
    EXPECT_EQ(Read(L"città", L"état"), L"1");
}

TEST_F(ProfileFile, MissingFileSectionOrKeyGivesTheDefault)
{
    EXPECT_EQ(Read(L"Global", L"ListFile", L"fallback"), L"fallback");
    Write("[Global]\nListFile=x\n");
    EXPECT_EQ(Read(L"Other", L"ListFile", L"fallback"), L"fallback");
    EXPECT_EQ(Read(L"Global", L"Other", L"fallback"), L"fallback");
    EXPECT_EQ(Read(L"Global", L"Other", L" fallback  "), L" fallback") << "trailing spaces of the default go";
    EXPECT_EQ(Read(L"Global", L"Other", L"fallback\t"), L"fallback\t") << "only spaces";
    EXPECT_EQ(Read(L"Global", L"Other"), L"");
}

TEST_F(ProfileFile, FileIsReadAfreshAtEveryCall)
{
    Write("[Global]\nListFile=first\n");
    EXPECT_EQ(Read(L"Global", L"ListFile"), L"first");
    Write("[Global]\nListFile=second\n");
    EXPECT_EQ(Read(L"Global", L"ListFile"), L"second");
    fs::remove(m_folder / "index.ini");
    EXPECT_EQ(Read(L"Global", L"ListFile"), L"");
}

TEST_F(ProfileFile, ResultIsCutToTheBufferAndItsLengthReported)
{
    std::string longValue(300, 'v');
    longValue[258] = 'L';
    Write("[S]\nK=" + longValue + "\n");
    std::wstring cut = Read(L"S", L"K");
    ASSERT_EQ(cut.size(), 259u);
    EXPECT_EQ(cut.back(), L'L');
    EXPECT_EQ(Read(L"S", L"K", L"", 4), L"vvv");
    EXPECT_EQ(Read(L"S", L"K", L"", 1), L"");
    EXPECT_EQ(Read(L"S", L"Missing", std::wstring(300, L'd'), 10), std::wstring(9, L'd'));

    wchar_t untouched[2] = { L'x', L'y' };
    EXPECT_EQ(platform::GetPrivateProfileStringW(L"S", L"K", L"", untouched, 0, Path()), 0u);
    EXPECT_EQ(untouched[0], L'x');
}

TEST(ProfileText, ValueIsTheTrimmedRestAfterTheFirstEquals)
{
    EXPECT_EQ(Find("[S]\nK = a = b \t\n", L"S", L"K"), L"a = b");
    EXPECT_EQ(Find("[S]\nK=\n", L"S", L"K"), L"");
    EXPECT_EQ(Find("[S]\nK=a;not a comment\n", L"S", L"K"), L"a;not a comment");
}

TEST(ProfileText, OneEnclosingPairOfEqualQuotesIsRemoved)
{
    auto value = [](const std::string& written) { return Find("[S]\nK=" + written + "\n", L"S", L"K"); };
    EXPECT_EQ(value("\"One\" \"Two\""), L"One\" \"Two");
    EXPECT_EQ(value("  'single'  "), L"single");
    EXPECT_EQ(value("\"\"x\"\""), L"\"x\"") << "only one pair goes";
    EXPECT_EQ(value("\"\""), L"");
    EXPECT_EQ(value("\""), L"\"") << "a lone quote is no pair";
    EXPECT_EQ(value("\"mixed'"), L"\"mixed'");
    EXPECT_EQ(value("\"open"), L"\"open");
    EXPECT_EQ(value("in \"side\""), L"in \"side\"");
}

TEST(ProfileText, CommentsAndLinesWithoutEqualsAreNoKeys)
{
    std::string file = "[S]\n;K=commented\n  ; K=indented comment\nK\nK=real\n";
    EXPECT_EQ(Find(file, L"S", L"K"), L"real");
    EXPECT_EQ(Find(file, L"S", L";K"), L"<none>");
    EXPECT_EQ(Find("K=before any section\n[S]\n", L"S", L"K"), L"<none>");
    EXPECT_EQ(Find("[S] trailing words\nK=1\n", L"S", L"K"), L"1");
    EXPECT_EQ(Find("[S\nK=1\n", L"S", L"K"), L"1") << "an unclosed header ends at the line's end";
    EXPECT_EQ(Find("[S]\n[T\nK=1\n", L"S", L"K"), L"<none>");
    EXPECT_EQ(Find("[A]B]\nK=1\n", L"A", L"K"), L"1") << "the name ends at the first bracket";
    EXPECT_EQ(Find("[]\nK=1\n", L"", L"K"), L"1") << "a section may have an empty name";
}

TEST(ProfileText, EmptyKeyNameGivesTheDefault)
{
    std::string file = "[S]\n=value\n  =other\n";
    EXPECT_EQ(Find(file, L"S", L""), L"<none>");
    EXPECT_EQ(Find(file, L"S", L"  "), L"<none>");
}

TEST(ProfileText, FirstSectionBlockAndFirstKeyWin)
{
    std::string file = "[S]\nK=first\nK=second\n[T]\nK=t\n[s]\nK=later\nOnlyLater=x\n";
    EXPECT_EQ(Find(file, L"S", L"K"), L"first");
    EXPECT_EQ(Find(file, L"S", L"OnlyLater"), L"<none>");
    EXPECT_EQ(Find(file, L"T", L"K"), L"t");
}

TEST(ProfileText, LineBreaksOfEveryKind)
{
    EXPECT_EQ(Find("[S]\r\nA=1\r\nB=2\r\n", L"S", L"B"), L"2");
    EXPECT_EQ(Find("[S]\rA=1\rB=2", L"S", L"B"), L"2");
    EXPECT_EQ(Find("[S]\nA=1\nB=2", L"S", L"A"), L"1");
    EXPECT_EQ(Find(std::string("[S]\nA=1\0B=2\n", 12), L"S", L"B"), L"2") << "a NUL ends its line";
}

TEST(ProfileText, DecodesEachEncoding)
{
    // "Città €" in each encoding, with a character beyond the 16-bit range in UTF-16.
    EXPECT_EQ(platform::DecodeProfileBytes("Citt\xC3\xA0 \xE2\x82\xAC"), L"Città €");
    EXPECT_EQ(platform::DecodeProfileBytes("\xEF\xBB\xBF" "Citt\xC3\xA0"), L"Città");
    EXPECT_EQ(platform::DecodeProfileBytes(std::string("\xFF\xFE" "C\0i\0\xE0\0\xAC\x20=\0\x3D\xD8\x00\xDE", 16)),
        L"Ci\u00E0\u20AC=\U0001F600");
    EXPECT_EQ(platform::DecodeProfileBytes(std::string("\xFE\xFF\0C\0\xE0", 6)), L"C\u00E0");
    EXPECT_EQ(platform::DecodeProfileBytes(std::string("\xFF\xFE\x00\xD8X\0", 6)), L"\uFFFDX") << "lone surrogate";
    EXPECT_EQ(platform::DecodeProfileBytes("\xEF\xBB\xBF" "a\xFFz"), L"a\uFFFDz") << "marked UTF-8 stays UTF-8";
}

TEST(ProfileText, InvalidUtf8WithoutMarkIsWindows1252)
{
    EXPECT_EQ(platform::DecodeProfileBytes("Caf\xE9 \x80 \x92 \x9F \x81\x8D\x8F\x90\x9D"),
        L"Caf\u00E9 \u20AC \u2019 \u0178 \u0081\u008D\u008F\u0090\u009D");
    // One bad byte sends the whole file to Windows-1252, its valid-looking UTF-8 pairs too.
    EXPECT_EQ(platform::DecodeProfileBytes("\xC3\xA0 \xE9"), L"\u00C3\u00A0 \u00E9");
    EXPECT_EQ(platform::DecodeProfileBytes("\xED\xA0\x80"), L"\u00ED\u00A0\u20AC") << "encoded surrogate is no UTF-8";
    EXPECT_EQ(platform::DecodeProfileBytes("\xC0\xAF"), L"\u00C0\u00AF") << "overlong form is no UTF-8";
}

TEST_F(ProfileFile, EachEncodingReadsThroughTheFile)
{
    std::string utf16 = "\xFF\xFE";
    for (char c : std::string("[Modello]\r\nNome=\"Citt"))
        utf16 += std::string { c, '\0' };
    utf16 += std::string("\xE0\0\"\0\r\0\n\0", 8);
    Write(utf16);
    EXPECT_EQ(Read(L"MODELLO", L"nome"), L"Città");

    Write("\xEF\xBB\xBF[S]\r\nK=\xC3\xA8\r\n");
    EXPECT_EQ(Read(L"S", L"K"), L"è");
    Write("[S]\nK=\xE8\x80\n");
    EXPECT_EQ(Read(L"S", L"K"), L"è€");
}

} // namespace
