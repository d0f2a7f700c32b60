#include "framework/CException.h"
#include "uilib/SkinScript.h"

#include <gtest/gtest.h>

namespace {

const char* const MinimalWindow = R"(font 1 = "Sans.ttf", 13
window Test {
    size = 200, 100
)";

struct ErrorCase {
    const char* name;
    std::string script;
    int line;
    const wchar_t* reasonPart;
};

class ScriptErrors : public ::testing::TestWithParam<ErrorCase> { };

TEST_P(ScriptErrors, NameFileLineAndReason)
{
    const ErrorCase& c = GetParam();
    try {
        SkinScript::Parse(c.script, L"Broken.zsp");
        FAIL() << "no exception for " << c.name;
    } catch (const CException& error) {
        EXPECT_EQ(error.File(), L"Broken.zsp");
        EXPECT_EQ(error.Line(), c.line) << error.what();
        EXPECT_NE(error.Reason().find(c.reasonPart), std::wstring::npos) << error.what();
    }
}

INSTANTIATE_TEST_SUITE_P(Script, ScriptErrors,
    ::testing::Values(
        ErrorCase { "unknown key", std::string(MinimalWindow) + "    colour = #FFFFFF\n}\n", 4, L"unknown key 'colour'" },
        ErrorCase { "bad number", std::string(MinimalWindow) + "    button 5 { rect = 1, 2, 3x, 4 }\n}\n", 4, L"bad number '3x'" },
        ErrorCase { "number out of range", std::string(MinimalWindow) + "    button 5 { rect = 1, 2, 0, 4 }\n}\n", 4, L"outside 1 to 8192" },
        ErrorCase { "duplicate ID across kinds", std::string(MinimalWindow) + "    button 7 { rect = 0, 0, 10, 10 }\n\n    static 7 { rect = 0, 0, 10, 10 }\n}\n", 6,
            L"already used at line 4" },
        ErrorCase { "unterminated block", std::string(MinimalWindow) + "    button 7 {\n        rect = 0, 0, 10, 10\n", 4, L"never closed" },
        ErrorCase { "unterminated window", "window A {\n size = 20, 20\n", 1, L"never closed" },
        ErrorCase { "stray brace", "}\n", 1, L"without an open block" },
        ErrorCase { "unterminated string", std::string(MinimalWindow) + "    button 7 { rect = 0, 0, 1, 1; caption = \"Exit }\n}\n", 4, L"not closed" },
        ErrorCase { "bad colour", std::string(MinimalWindow) + "    background = #12345\n}\n", 4, L"bad colour" },
        ErrorCase { "missing value", std::string(MinimalWindow) + "    background =\n}\n", 4, L"missing value" },
        ErrorCase { "undeclared font", std::string(MinimalWindow) + "    static 10 { rect = 0, 0, 5, 5; font = 9 }\n}\n", 4, L"font 9 is not declared" },
        ErrorCase { "control outside window", std::string(MinimalWindow) + "    button 3 { rect = 150, 0, 60, 10 }\n}\n", 4, L"does not fit" },
        ErrorCase { "droplist list outside window", std::string(MinimalWindow) + "    droplist 2001 { rect = 0, 40, 100, 20; item-height = 20; visible-items = 3 }\n}\n", 4,
            L"open list" },
        ErrorCase { "missing rect", std::string(MinimalWindow) + "    static 10 {\n        color = #000000\n    }\n}\n", 4, L"has no rect" },
        ErrorCase { "window without size", "window A {\n}\n", 1, L"has no size" },
        ErrorCase { "duplicate window", "window A { size = 20, 20 }\nwindow A { size = 20, 20 }\n", 2, L"already described at line 1" },
        ErrorCase { "duplicate key", std::string(MinimalWindow) + "    background = #FFFFFF\n    background = #000000\n}\n", 5, L"already set at line 4" },
        ErrorCase { "unknown style", std::string(MinimalWindow) + "    button 3 : fancy { rect = 0, 0, 1, 1 }\n}\n", 4, L"unknown style 'fancy'" },
        ErrorCase { "unknown state key", std::string(MinimalWindow) + "    button 3 { rect = 0, 0, 1, 1; hover-radius = 3 }\n}\n", 4, L"hover-radius" },
        ErrorCase { "style key bad for kind", "style s { wrap = yes }\n" + std::string(MinimalWindow) + "    button 3 : s { rect = 0, 0, 1, 1 }\n}\n", 1, L"unknown key 'wrap'" },
        ErrorCase { "bad control ID", std::string(MinimalWindow) + "    button x1 { rect = 0, 0, 1, 1 }\n}\n", 4, L"bad control ID" },
        ErrorCase { "bad flag", std::string(MinimalWindow) + "    button 3 { rect = 0, 0, 1, 1; visible = maybe }\n}\n", 4, L"yes or no" },
        ErrorCase { "invalid UTF-8", "# ok\n# \xC3\x28 bad\n", 2, L"UTF-8" },
        ErrorCase { "unknown block", std::string(MinimalWindow) + "    slider 3 { rect = 0, 0, 1, 1 }\n}\n", 4, L"unknown block 'slider'" },
        ErrorCase { "path in file name", "font 1 = \"../x.ttf\", 12\n", 1, L"plain name" },
        ErrorCase { "no font for a text", "window A {\n size = 20, 20\n static 5 { rect = 0, 0, 5, 5 }\n}\n", 3, L"declares no font" }),
    [](const ::testing::TestParamInfo<ErrorCase>& info) {
        std::string name = info.param.name;
        for (char& c : name)
            c = std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
        return name;
    });

TEST(ScriptParser, ReadsValuesStylesAndStates)
{
    const char* script = R"(# a comment
font 5 = "Sans.ttf", 14   // another comment
style base {
    radius = 4
    fill = #102030
    hover-fill = #405060
    text-color = #FFFFFF80
}
window W {
    size = 300, 200
    background = #FFFFFF, #000000
    font 5 = "Bold.ttf", 20
    label { rect = 0, 0, 100, 20; text = "Varn MID \"2\""; font = 5 }
    button 1001 : base {
        rect = 10, 20, 30, 40
        fill = #AABBCC
        caption = "Driver & Tools"
        visible = no
    }
    static 10007 { rect = 0, 100, 300, 40; text-id = 22; wrap = yes; align = right; valign = bottom }
    progress 2002 { rect = 0, 150, 300, 10; bar = #218BE7 }
}
)";
    SkinScript skin = SkinScript::Parse(script, L"t.zsp");
    const WindowLayout& window = skin.Section(L"W");
    EXPECT_EQ(window.width, 300);
    EXPECT_TRUE(window.background.IsGradient());
    EXPECT_EQ(window.background.bottom, 0xFF000000u);
    // The window's own font replaces the shared one with the same index.
    EXPECT_EQ(window.fonts.at(5).file, L"Bold.ttf");
    EXPECT_EQ(window.fonts.at(5).pixelSize, 20);

    const ButtonLayout* button = window.FindButton(1001);
    ASSERT_NE(button, nullptr);
    EXPECT_EQ(button->rect, (CRect { 10, 20, 40, 60 }));
    EXPECT_EQ(button->radius, 4);
    // The control's own "fill" comes after the style, so it wins over the style's hover fill too.
    EXPECT_EQ(button->Face(FaceState::Hover).fill.top, 0xFFAABBCCu);
    EXPECT_EQ(button->Face(FaceState::Disabled).fill.top, 0xFFAABBCCu);
    EXPECT_EQ(button->Face(FaceState::Normal).textColor, 0x80FFFFFFu); // #RRGGBBAA
    EXPECT_EQ(button->caption, L"Driver & Tools");
    EXPECT_FALSE(button->visible);
    EXPECT_TRUE(button->enabled);
    EXPECT_EQ(button->font, 5); // the window's first font

    const StaticLayout* warning = window.FindStatic(10007);
    ASSERT_NE(warning, nullptr);
    EXPECT_EQ(warning->textId, 22);
    EXPECT_FALSE(warning->hasFixedText);
    EXPECT_EQ(warning->TextFormat(), 0x2u | 0x8u | 0x10u);

    ASSERT_EQ(window.decorations.size(), 1u);
    EXPECT_EQ(window.decorations[0].text, L"Varn MID \"2\"");
    EXPECT_EQ(window.FindProgress(2002)->bar.top, 0xFF218BE7u);
    EXPECT_TRUE(window.HasControl(2002));
    EXPECT_FALSE(window.HasControl(2001));
}

TEST(ScriptParser, StateKeysRefineAllStateKeysWhateverTheOrder)
{
    const char* script = "font 1 = a.ttf, 12\nwindow W {\n size = 100, 100\n"
                         " button 1 { rect = 0, 0, 10, 10; pressed-fill = #010203; fill = #0A0B0C }\n}\n";
    SkinScript skin = SkinScript::Parse(script, L"t");
    const ButtonLayout& button = *skin.Section(L"W").FindButton(1);
    EXPECT_EQ(button.Face(FaceState::Pressed).fill.top, 0xFF010203u);
    EXPECT_EQ(button.Face(FaceState::Normal).fill.top, 0xFF0A0B0Cu);
}

TEST(ScriptParser, MissingSectionNamesTheFileEnd)
{
    SkinScript skin = SkinScript::Parse("window A { size = 20, 20 }\n\n", L"s.zsp");
    EXPECT_EQ(skin.Find(L"B"), nullptr);
    try {
        skin.Section(L"UsbFrm");
        FAIL();
    } catch (const CException& error) {
        EXPECT_EQ(error.File(), L"s.zsp");
        EXPECT_EQ(error.Line(), 2);
        EXPECT_NE(error.Reason().find(L"UsbFrm"), std::wstring::npos);
    }
}

TEST(ScriptParser, AcceptsByteOrderMarkAndEmptyText)
{
    EXPECT_TRUE(SkinScript::Parse("", L"e").Windows().empty());
    EXPECT_EQ(SkinScript::Parse("\xEF\xBB\xBFwindow A { size = 20, 20 }", L"b").Windows().size(), 1u);
}

} // namespace
