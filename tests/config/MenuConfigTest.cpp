#include "config/MenuConfig.h"
#include "shared/Globals.h"

#include <gtest/gtest.h>

#include <cwchar>
#include <filesystem>
#include <fstream>
#include <random>

namespace {

namespace fs = std::filesystem;

void SetGlobal(wchar_t (&global)[kPathBufferSize], const std::wstring& text)
{
    std::wmemset(global, 0, kPathBufferSize);
    std::wcsncpy(global, text.c_str(), kPathBufferSize - 1);
}

// The menu operations read g_szAppDir + "index.ini"; a native folder with its trailing "/" serves
// as g_szAppDir here, since a path without a drive letter is opened as it is.
class MenuConfig : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::random_device random;
        m_folder = fs::temp_directory_path() / ("arkeven-menu-" + std::to_string(random()));
        fs::create_directories(m_folder);
        SetGlobal(g_szAppDir, m_folder.wstring() + L"/");
        SetGlobal(g_szModel, L"");
        SetGlobal(g_szOS, L"");
    }
    void TearDown() override
    {
        fs::remove_all(m_folder);
        SetGlobal(g_szAppDir, L"");
        SetGlobal(g_szModel, L"");
        SetGlobal(g_szOS, L"");
    }

    void WriteIndex(const std::string& bytes)
    {
        std::ofstream file(m_folder / "index.ini", std::ios::binary | std::ios::trunc);
        file << bytes;
    }

    fs::path m_folder;
};

const char* const kExampleFile = "[Global]\n"
                                 "ListFile=Docs\\Readme.htm\n"
                                 "ModelA=A\n"
                                 "ModelB=B\n"
                                 "Linux=L\n"
                                 "Windows=W\n"
                                 "\n"
                                 "[Model]\n"
                                 "Model1=\"Model A\" \"ModelA\"\n"
                                 "Model2=\"Model B\" \"ModelB\"\n"
                                 "\n"
                                 "[OS]\n"
                                 "OS1=\"Linux\" \"Linux\"\n"
                                 "OS2=\"Windows\" \"Windows\"\n"
                                 "\n"
                                 "[B_L_App]\n"
                                 "App1=1\n"
                                 "App2=1\n";

TEST_F(MenuConfig, ExampleFileFromSelectionToAppCount)
{
    WriteIndex(kExampleFile);
    EXPECT_EQ(ReadMenuString(L"Global", L"ListFile"), L"Docs\\Readme.htm");

    MenuEntry model = SplitMenuEntry(ReadMenuString(L"Model", L"Model2"));
    EXPECT_EQ(model.caption, L"Model B");
    ASSERT_TRUE(model.value.has_value());
    EXPECT_EQ(*model.value, L"ModelB");

    EXPECT_EQ(GetAppSectionName(), L"__App") << "before any selection";
    EXPECT_EQ(CountAppEntries(GetAppSectionName()), 0);

    SetGlobal(g_szModel, *model.value);
    SetGlobal(g_szOS, L"Linux");
    EXPECT_EQ(GetAppSectionName(), L"B_L_App");
    EXPECT_EQ(CountAppEntries(L"B_L_App"), 2);

    SetGlobal(g_szModel, L"ModelWithoutToken");
    EXPECT_EQ(GetAppSectionName(), L"_L_App");
}

TEST_F(MenuConfig, SplitsTheEntryExamples)
{
    WriteIndex("[OS]\n"
               "OS1=\"One\" \"Two\"\n"
               "OS2=One\" \"Two\n"
               "OS3=\"One\"\n"
               "OS4=\"One\" \"Two\" \"Six\"\n"
               "OS5=One\n"
               "OS6=  \"One\" \"Two\"  \t\n"
               "OS7=\" Spaced \" \" Value \"\n");
    auto entry = [](const wchar_t* key) { return SplitMenuEntry(ReadMenuString(L"OS", key)); };

    for (const wchar_t* key : { L"OS1", L"OS2", L"OS6" }) {
        EXPECT_EQ(entry(key).caption, L"One") << key;
        EXPECT_EQ(entry(key).value, std::optional<std::wstring>(L"Two")) << key;
    }
    EXPECT_EQ(entry(L"OS3").caption, L"One");
    EXPECT_FALSE(entry(L"OS3").value.has_value());
    EXPECT_EQ(entry(L"OS4").caption, L"One");
    EXPECT_EQ(entry(L"OS4").value, std::optional<std::wstring>(L"Two\" \"Six"));
    EXPECT_EQ(entry(L"OS5").caption, L"One");
    EXPECT_FALSE(entry(L"OS5").value.has_value());
    EXPECT_EQ(entry(L"OS7").caption, L" Spaced ");
    EXPECT_EQ(entry(L"OS7").value, std::optional<std::wstring>(L" Value "));
}

TEST(SplitMenuEntry, QuotesAtTheEdges)
{
    EXPECT_EQ(SplitMenuEntry(L"").caption, L"");
    EXPECT_FALSE(SplitMenuEntry(L"").value.has_value());
    EXPECT_EQ(SplitMenuEntry(L"\"").caption, L"");
    EXPECT_FALSE(SplitMenuEntry(L"\"").value.has_value());
    EXPECT_EQ(SplitMenuEntry(L"\"\"").value, std::optional<std::wstring>(L""));
    EXPECT_EQ(SplitMenuEntry(L"A\"ignored\"B").value, std::optional<std::wstring>(L"B"));
}

TEST_F(MenuConfig, AbsentThingsReadEmpty)
{
    EXPECT_EQ(ReadMenuString(L"Global", L"ListFile"), L"") << "no file";
    EXPECT_EQ(CountAppEntries(L"B_L_App"), 0);
    WriteIndex(kExampleFile);
    EXPECT_EQ(ReadMenuString(L"Missing", L"ListFile"), L"");
    EXPECT_EQ(ReadMenuString(L"Global", L"Missing"), L"");
    EXPECT_EQ(ReadMenuString(L"Global", L""), L"") << "an empty key name, as an unselected g_szModel";
    EXPECT_EQ(ReadMenuString(L"global", L"listfile"), L"Docs\\Readme.htm");
}

TEST_F(MenuConfig, ValuesAreCutTo259Characters)
{
    std::string value(400, 'x');
    value[258] = 'y';
    WriteIndex("[Global]\nListFile=" + value + "\n");
    std::wstring read = ReadMenuString(L"Global", L"ListFile");
    ASSERT_EQ(read.size(), 259u);
    EXPECT_EQ(read.back(), L'y');
}

TEST_F(MenuConfig, CountsAllThirtyAppKeysAndNoMore)
{
    std::string file = "[S_T_App]\nApp1=x\nApp3=x\n[Full]\n";
    for (int k = 1; k <= 31; ++k)
        file += "App" + std::to_string(k) + "=1\n";
    file += "[Gaps]\nApp01=1\nApp30=1\nApp2=\nApp4=\"\"\n";
    WriteIndex(file);
    EXPECT_EQ(CountAppEntries(L"S_T_App"), 2) << "a gap does not end the scan";
    EXPECT_EQ(CountAppEntries(L"full"), 30) << "App31 is never read";
    EXPECT_EQ(CountAppEntries(L"Gaps"), 1) << "App01 is no App1; empty values do not count";
}

TEST_F(MenuConfig, ChangedFileCountsAtTheNextRead)
{
    WriteIndex("[S]\nApp1=1\n");
    EXPECT_EQ(CountAppEntries(L"S"), 1);
    WriteIndex("[S]\nApp1=1\nApp2=1\n");
    EXPECT_EQ(CountAppEntries(L"S"), 2);
}

TEST(MenuBaseFolder, ClimbsOneFolderAboveTheExecutable)
{
    SetGlobal(g_szAppDir, L"E:\\AUTORUN\\");
    EXPECT_EQ(GetMenuBaseFolder(), L"E:");
    SetGlobal(g_szAppDir, L"E:\\DISC\\MENU\\");
    EXPECT_EQ(GetMenuBaseFolder(), L"E:\\DISC");
    EXPECT_EQ(GetMenuBaseFolder() + L"\\" + L"Tools\\Setup.exe", L"E:\\DISC\\Tools\\Setup.exe");
    SetGlobal(g_szAppDir, L"E:\\");
    EXPECT_EQ(GetMenuBaseFolder(), L"E:") << "a drive root still names its drive";
    SetGlobal(g_szAppDir, L"");
}

} // namespace
