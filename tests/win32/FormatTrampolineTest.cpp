// The format entry points handed to the program: fmifs.dll's FormatEx and EnableVolumeCompression
// behind the platform's signatures. Runs against the stand-in DLL of tests/win32/fmifs/.
#include "platform/Format.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct Report {
    std::uint32_t command;
    std::string detail;
};

std::vector<Report> g_reports;
std::uint32_t g_stopAtPercent = 0;

bool Record(std::uint32_t command, std::uint32_t, void* actionInfo)
{
    switch (command) {
    case platform::kFormatProgress: {
        std::uint32_t percent = *static_cast<std::uint32_t*>(actionInfo);
        g_reports.push_back({ command, std::to_string(percent) });
        return percent != g_stopAtPercent;
    }
    case platform::kFormatDone:
        g_reports.push_back({ command, *static_cast<std::uint8_t*>(actionInfo) ? "ok" : "failed" });
        return true;
    case platform::kFormatOutput:
        g_reports.push_back({ command, static_cast<platform::FormatTextOutput*>(actionInfo)->output });
        return true;
    default:
        return true;
    }
}

class FormatTrampoline : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_module = platform::LoadLibraryW(L"fmifs.dll");
        ASSERT_NE(m_module, nullptr) << "fmifs.dll (the stand-in) is not beside the test";
        m_formatEx = reinterpret_cast<platform::FormatExFunction>(platform::GetProcAddress(m_module, "FormatEx"));
        ASSERT_NE(m_formatEx, nullptr);
        g_reports.clear();
        g_stopAtPercent = 0;
    }

    platform::ModuleHandle m_module = nullptr;
    platform::FormatExFunction m_formatEx = nullptr;
};

TEST_F(FormatTrampoline, ArgumentsAndReportsPassBothWays)
{
    m_formatEx(L"E:\\", 12, L"FAT32", L"VarnMID", 0, 4096, Record);
    ASSERT_EQ(g_reports.size(), 5u);
    EXPECT_EQ(g_reports[0].command, platform::kFormatOutput);
    EXPECT_EQ(g_reports[0].detail, "root=E:\\ media=12 format=FAT32 label=VarnMID quick=0 cluster=4096\n");
    EXPECT_EQ(g_reports[1].detail, "50");
    EXPECT_EQ(g_reports[3].detail, "100");
    EXPECT_EQ(g_reports[4].command, platform::kFormatDone);
    EXPECT_EQ(g_reports[4].detail, "ok");
}

TEST_F(FormatTrampoline, ACallbackAnsweringFalseStopsTheFormat)
{
    g_stopAtPercent = 75;
    m_formatEx(L"E:\\", 12, L"FAT32", L"VarnMID", 0, 4096, Record);
    ASSERT_EQ(g_reports.size(), 4u);
    EXPECT_EQ(g_reports[2].detail, "75");
    EXPECT_EQ(g_reports[3].detail, "failed");
}

TEST_F(FormatTrampoline, VolumeCompressionAndUnknownEntries)
{
    auto enable = reinterpret_cast<platform::EnableVolumeCompressionFunction>(
        platform::GetProcAddress(m_module, "EnableVolumeCompression"));
    ASSERT_NE(enable, nullptr);
    EXPECT_TRUE(enable(L"E:\\", 1));
    EXPECT_FALSE(enable(L"F:\\", 1));
    EXPECT_EQ(platform::GetProcAddress(m_module, "NoSuchEntry"), nullptr);
    EXPECT_EQ(platform::LoadLibraryW(L"no-such-library.dll"), nullptr);
}

} // namespace
