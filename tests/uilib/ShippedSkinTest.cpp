#include "framework/CException.h"
#include "framework/Strings.h"
#include "uilib/Color.h"
#include "uilib/Image.h"
#include "uilib/Painter.h"
#include "uilib/SkinPainter.h"
#include "uilib/SkinScript.h"
#include "uilib/WindowSkin.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <set>

namespace {

namespace fs = std::filesystem;

const std::wstring ScriptFolder = L"" ARKEVEN_SOURCE_DIR "/resources";

std::wstring Wide(const std::string& text) { return std::wstring(text.begin(), text.end()); }

// The skin as it lies beside the executable: the script and the two fonts in one folder.
class SkinFolder : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        // One folder per process: ctest runs the tests of this suite in parallel processes, and
        // a font copied over while another process reads it is a damaged font.
        s_folder = fs::path(ARKEVEN_BINARY_DIR) / ("uilib_skin-" + std::to_string(::getpid()));
        fs::create_directories(s_folder);
        fs::copy_file(fs::path(ARKEVEN_SOURCE_DIR) / "resources" / "Arkeven.zsp", s_folder / "Arkeven.zsp", fs::copy_options::overwrite_existing);
        for (const char* font : { "DejaVuSans.ttf", "DejaVuSans-Bold.ttf" })
            fs::copy_file(fs::path("/usr/share/fonts/truetype/dejavu") / font, s_folder / font, fs::copy_options::overwrite_existing);
    }
    static void TearDownTestSuite() { fs::remove_all(s_folder); }
    static std::wstring Folder() { return Wide(s_folder.string()); }
    static fs::path s_folder;
};
fs::path SkinFolder::s_folder;

std::set<int> Range(int first, int last)
{
    std::set<int> ids;
    for (int id = first; id <= last; ++id)
        ids.insert(id);
    return ids;
}

TEST(ShippedSkin, HasEveryControlTheProgramUses)
{
    SkinScript script = SkinScript::Load(ScriptFolder, L"Arkeven.zsp");
    struct Expected {
        const wchar_t* section;
        std::set<int> buttons;
        std::set<int> statics;
    };
    std::set<int> appButtons = Range(1021, 1050);
    appButtons.insert({ 1001, 1004, 1005 });
    std::set<int> appStatics = Range(1122, 1127);
    appStatics.insert({ 10003, 10008, 10009, 10010 });
    const Expected expected[] = {
        { L"MainFrm", { 1001, 1002, 1011, 1012, 1013, 1016, 1017 }, { 10001 } },
        { L"AppFrm", appButtons, appStatics },
        { L"ModelFrm", { 1001, 1101, 1102, 1103, 1104 }, {} },
        { L"OSFrm", { 1001, 1111, 1112, 1113, 1114, 1115 }, {} },
        { L"UsbFrm", { 1001, 1014, 1015 }, { 10005, 10006, 10007 } },
    };
    for (const Expected& window : expected) {
        SCOPED_TRACE(ToUtf8(window.section));
        const WindowLayout& layout = script.Section(window.section);
        for (int id : window.buttons)
            EXPECT_NE(layout.FindButton(id), nullptr) << "button " << id;
        for (int id : window.statics)
            EXPECT_NE(layout.FindStatic(id), nullptr) << "static " << id;
        EXPECT_EQ(layout.buttons.size(), window.buttons.size());
        for (int index : { 5, 6, 7 })
            EXPECT_TRUE(layout.fonts.count(index)) << "font " << index;
    }
    EXPECT_NE(script.Section(L"AppFrm").FindDropList(2001), nullptr);
    EXPECT_NE(script.Section(L"UsbFrm").FindProgress(2002), nullptr);
    EXPECT_EQ(script.Section(L"UsbFrm").FindProgress(2002)->bar.top, 0xFF218BE7u);

    const WindowLayout& main = script.Section(L"MainFrm");
    EXPECT_EQ(main.FindButton(1013)->caption, L"Driver & Tools");
    EXPECT_EQ(main.FindButton(1016)->caption, L"Crea chiavetta di ripristino");
    EXPECT_EQ(main.FindButton(1017)->caption, L"Manuale utente");
    // The Italian twins sit where the buttons they replace sit.
    EXPECT_EQ(main.FindButton(1016)->rect, main.FindButton(1011)->rect);
    EXPECT_EQ(main.FindButton(1017)->rect, main.FindButton(1012)->rect);

    // Page 1 reuses the places of page 0: entry j + 16 sits where entry j sits.
    const WindowLayout& app = script.Section(L"AppFrm");
    for (int j = 0; j < 14; ++j)
        EXPECT_EQ(app.FindButton(1037 + j)->rect, app.FindButton(1021 + j)->rect) << "entry " << j;
    for (int j = 0; j < 16; ++j)
        for (int k = j + 1; k < 16; ++k)
            EXPECT_TRUE(app.FindButton(1021 + j)->rect.Intersect(app.FindButton(1021 + k)->rect).IsEmpty()) << j << " overlaps " << k;
}

TEST_F(SkinFolder, EverySectionLoadsWithItsFontsAndPaints)
{
    for (const wchar_t* section : { L"MainFrm", L"AppFrm", L"ModelFrm", L"OSFrm", L"UsbFrm" }) {
        SCOPED_TRACE(ToUtf8(section));
        std::unique_ptr<WindowSkin> skin = WindowSkin::Load(Folder(), L"Arkeven.zsp", section);
        const WindowLayout& layout = skin->Layout();
        for (int index : { 5, 6, 7 })
            EXPECT_NE(skin->GetFont(index), nullptr);

        // Paint the whole window, every control in its normal state, as a check and for review.
        Framebuffer fb(layout.width, layout.height);
        Painter painter(fb);
        SkinPainter paint(painter, *skin);
        paint.PaintBackground();
        FaceText face { L"Avvia", 0xFFFFFFFF, skin->GetFont(7), 33, {} };
        for (const auto& [id, button] : layout.buttons)
            paint.PaintButton(button, FaceState::Normal, button.caption.empty() ? L"Button " + std::to_wstring(id) : button.caption,
                id >= 1014 && id <= 1050 ? &face : nullptr, false);
        for (const auto& [id, label] : layout.statics)
            paint.PaintStatic(label, label.hasFixedText ? label.text : L"Static " + std::to_wstring(id) + L" text à è");
        for (const auto& [id, list] : layout.dropLists)
            paint.PaintDropList(list, L"E (1906 MBytes)", true, true);
        for (const auto& [id, bar] : layout.progressBars)
            paint.PaintProgress(bar, 78, 0, 150, std::nullopt);
        std::string out = std::string(ARKEVEN_BINARY_DIR) + "/uilib_" + ToUtf8(section) + ".png";
        EXPECT_TRUE(Image::SavePng(fb, fb.Bounds(), Wide(out)));

        // The header band is dark slate and the body light.
        EXPECT_LT(Color::Red(fb.Pixel(2, 2)), 0x40);
        EXPECT_GT(Color::Red(fb.Pixel(2, layout.height - 2)), 0xC0);
    }
}

TEST_F(SkinFolder, MissingSectionAndMissingFontNameTheScript)
{
    try {
        WindowSkin::Load(Folder(), L"Arkeven.zsp", L"NoSuchFrm");
        FAIL();
    } catch (const CException& error) {
        EXPECT_NE(error.File().find(L"Arkeven.zsp"), std::wstring::npos);
        EXPECT_GT(error.Line(), 1);
    }

    std::ofstream(s_folder / "Broken.zsp") << "font 7 = \"NoSuchFont.ttf\", 14\n\nwindow W { size = 40, 40 }\n";
    try {
        WindowSkin::Load(Folder(), L"Broken.zsp", L"W");
        FAIL();
    } catch (const CException& error) {
        EXPECT_NE(error.File().find(L"Broken.zsp"), std::wstring::npos);
        EXPECT_EQ(error.Line(), 1);
        EXPECT_NE(error.Reason().find(L"NoSuchFont.ttf"), std::wstring::npos);
    }
    EXPECT_THROW(SkinScript::Load(Folder(), L"Absent.zsp"), CException);
}

TEST_F(SkinFolder, ProgressBarFillsInProportion)
{
    auto skin = WindowSkin::Load(Folder(), L"Arkeven.zsp", L"UsbFrm");
    const ProgressLayout& bar = *skin->Layout().FindProgress(2002);
    Framebuffer fb(skin->Layout().width, skin->Layout().height, 0xFF000000);
    Painter painter(fb);
    SkinPainter(painter, *skin).PaintProgress(bar, 75, 0, 150);
    int row = (bar.rect.top + bar.rect.bottom) / 2;
    int accent = 0;
    for (int x = bar.rect.left; x < bar.rect.right; ++x)
        accent += fb.Pixel(x, row) == 0xFF218BE7u;
    EXPECT_NEAR(accent, bar.rect.Width() / 2, 2);
    // An override colour (the program's PBM_SETBKCOLOR) replaces the script's bar colour.
    SkinPainter(painter, *skin).PaintProgress(bar, 150, 0, 150, Color::FromColorref(0x0000FF));
    EXPECT_EQ(fb.Pixel((bar.rect.left + bar.rect.right) / 2, row), 0xFFFF0000u);
}

TEST_F(SkinFolder, DropListPopupGeometry)
{
    auto skin = WindowSkin::Load(Folder(), L"Arkeven.zsp", L"AppFrm");
    const DropListLayout& list = *skin->Layout().FindDropList(2001);
    CRect popup = SkinPainter::DropListPopupRect(*skin, list, 3);
    EXPECT_EQ(popup.top, list.rect.bottom);
    EXPECT_EQ(popup.Height(), 3 * list.itemHeight + 2);
    EXPECT_LE(SkinPainter::DropListPopupRect(*skin, list, 100).bottom, skin->Layout().height);
    EXPECT_EQ(SkinPainter::DropListItemAt(*skin, list, 3, 0, { popup.left + 5, popup.top + 1 + list.itemHeight + 2 }), 1);
    EXPECT_EQ(SkinPainter::DropListItemAt(*skin, list, 3, 0, { popup.left + 5, popup.bottom + 5 }), -1);
}

TEST_F(SkinFolder, ButtonFacesFollowTheirStateImageAndFocus)
{
    Framebuffer picture(4, 4, 0xFF0000FF);
    ASSERT_TRUE(Image::SavePng(picture, picture.Bounds(), Wide((s_folder / "pressed.png").string())));
    std::ofstream(s_folder / "Faces.zsp") << "font 7 = DejaVuSans-Bold.ttf, 14\n"
                                             "window W {\n size = 100, 60\n focus-color = #00FF00\n"
                                             " button 1 { rect = 10, 10, 80, 40; fill = #FF0000; hover-fill = #FFFF00;"
                                             " pressed-image = pressed.png; text-color = #000000 }\n}\n";
    auto skin = WindowSkin::Load(Folder(), L"Faces.zsp", L"W");
    const ButtonLayout& button = *skin->Layout().FindButton(1);
    auto paint = [&](FaceState state, const FaceText* face, bool focused) {
        Framebuffer fb(100, 60, 0xFFFFFFFF);
        Painter painter(fb);
        SkinPainter(painter, *skin).PaintButton(button, state, L"", face, focused);
        return fb;
    };
    EXPECT_EQ(paint(FaceState::Normal, nullptr, false).Pixel(12, 12), 0xFFFF0000u);
    EXPECT_EQ(paint(FaceState::Hover, nullptr, false).Pixel(12, 12), 0xFFFFFF00u);
    EXPECT_EQ(paint(FaceState::Pressed, nullptr, false).Pixel(50, 30), 0xFF0000FFu);
    EXPECT_EQ(paint(FaceState::Disabled, nullptr, false).Pixel(12, 12), 0xFFFF0000u);

    // The focus ring lies just outside the face; disabled buttons show none.
    EXPECT_EQ(paint(FaceState::Normal, nullptr, true).Pixel(50, 8), 0xFF00FF00u);
    EXPECT_EQ(paint(FaceState::Normal, nullptr, false).Pixel(50, 8), 0xFFFFFFFFu);
    EXPECT_EQ(paint(FaceState::Disabled, nullptr, true).Pixel(50, 8), 0xFFFFFFFFu);

    // Text the program paints on the faces, in its own colour, centred on the face.
    FaceText face { L"OK", 0xFFFFFFFF, nullptr, 33, {} };
    Framebuffer lettered = paint(FaceState::Normal, &face, false);
    CRect ink { 100, 60, 0, 0 };
    for (int y = 0; y < 60; ++y)
        for (int x = 0; x < 100; ++x)
            if (lettered.Pixel(x, y) != 0xFFFF0000u && lettered.Pixel(x, y) != 0xFFFFFFFFu) {
                ink = ink.Union({ x, y, x + 1, y + 1 });
            }
    int whiteInk = 0;
    for (int y = 10; y < 50; ++y)
        for (int x = 10; x < 90; ++x)
            whiteInk += lettered.Pixel(x, y) == 0xFFFFFFFFu;
    EXPECT_GT(whiteInk, 10);
    EXPECT_NEAR((ink.top + ink.bottom) / 2.0, 30, 2.0);
    EXPECT_NEAR((ink.left + ink.right) / 2.0, 50, 2.0);
}

} // namespace
