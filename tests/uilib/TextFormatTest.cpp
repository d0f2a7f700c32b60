#include "uilib/TextFormat.h"

#include <gtest/gtest.h>

namespace {

TEST(FormatText, DoubledPercentShowsOnce)
{
    EXPECT_EQ(FormatText(L"100%% done", nullptr, 260), L"100% done");
    EXPECT_EQ(FormatText(L"%%%%", nullptr, 260), L"%%");
    EXPECT_EQ(FormatText(L"%%s", L"arg", 260), L"%s") << "%% is read before s";
    EXPECT_EQ(FormatText(L"%%s %s", L"arg", 260), L"%s arg");
}

TEST(FormatText, StringArgumentFillsTheFirstPercentSOnly)
{
    EXPECT_EQ(FormatText(L"Model: %s", L"VM-7", 260), L"Model: VM-7");
    EXPECT_EQ(FormatText(L"%s and %s", L"one", 260), L"one and %s");
    EXPECT_EQ(FormatText(L"Model: %s", nullptr, 260), L"Model: %s");
    EXPECT_EQ(FormatText(L"%s", L"%d %%", 260), L"%d %%") << "the argument is not a format";
    EXPECT_EQ(FormatText(L"[%s]", L"", 260), L"[]");
}

TEST(FormatText, OtherConversionsStayLiteral)
{
    for (const wchar_t* text : { L"%d", L"%n", L"%1$s", L"%5s", L"%ls", L"%S", L"%", L"50%", L"%x%p%f" })
        EXPECT_EQ(FormatText(text, L"arg", 260), text);
    EXPECT_EQ(FormatText(L"%d%s", L"arg", 260), L"%darg");
}

TEST(FormatText, CutsToTheBuffer)
{
    EXPECT_EQ(FormatText(std::wstring(300, L'a'), nullptr, 260).size(), 259u);
    EXPECT_EQ(FormatText(L"ab%scd", L"XYZ", 5), L"abXY");
    EXPECT_EQ(FormatText(L"a%%b", nullptr, 3), L"a%");
    EXPECT_EQ(FormatText(L"abc", nullptr, 1), L"");
    EXPECT_EQ(FormatText(L"abc", nullptr, 0), L"");
    EXPECT_EQ(FormatText(L"", L"x", 260), L"");
}

TEST(FormatPercentLine, RoundsAsPrintfAndAppendsTheWord)
{
    EXPECT_EQ(FormatPercentLine(42.0, L"completed", 260), L"42% completed");
    EXPECT_EQ(FormatPercentLine(12.5, L"x", 260), L"12% x") << "half to even";
    EXPECT_EQ(FormatPercentLine(13.5, L"x", 260), L"14% x");
    EXPECT_EQ(FormatPercentLine(99.6, L"x", 260), L"100% x");
    EXPECT_EQ(FormatPercentLine(0.4, L"%s %%", 260), L"0% %s %%") << "the word is no format";
    EXPECT_EQ(FormatPercentLine(1e300, L"x", 260).size(), 259u);
    EXPECT_EQ(FormatPercentLine(50.0, L"completed", 6), L"50% c");
}

} // namespace
