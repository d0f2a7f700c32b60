// The format entry points handed to the program: fmifs.dll's FormatEx and EnableVolumeCompression
// behind the platform's signatures. Runs against the stand-in DLL of tests/win32/fmifs/. Volumes
// above 32 GB: tests/scripts/windows_build_and_wine.sh maps drive letters to sparse image files
// and names them in ARKEVEN_TEST_LARGE_DRIVE (40 GB) and ARKEVEN_TEST_LIMIT_DRIVE (32 GiB).
#include "platform/Format.h"
#include "platform/win32/LargeVolumeFormat.h"
#include "platform/win32/UniqueHandle.h"
#include "platform/win32/VolumeSectorDevice.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace {

struct Report {
    std::uint32_t command;
    std::string detail;
};

std::vector<Report> g_reports;
std::uint32_t g_stopAtPercent = UINT32_MAX; // the percentage whose report answers false

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
        g_stopAtPercent = UINT32_MAX;
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

std::wstring DriveRootFromEnvironment(const char* variable)
{
    const char* letter = std::getenv(variable);
    if (!letter || !*letter)
        return {};
    return std::wstring(1, static_cast<wchar_t>(letter[0])) + L":\\";
}

std::vector<std::string> DetailsOf(std::uint32_t command)
{
    std::vector<std::string> details;
    for (auto& report : g_reports)
        if (report.command == command)
            details.push_back(report.detail);
    return details;
}

TEST_F(FormatTrampoline, OnlyFat32AboveThirtyTwoGigabytesBypassesTheLibrary)
{
    auto large = DriveRootFromEnvironment("ARKEVEN_TEST_LARGE_DRIVE");
    auto limit = DriveRootFromEnvironment("ARKEVEN_TEST_LIMIT_DRIVE");
    if (large.empty() || limit.empty())
        GTEST_SKIP() << "needs the drives of windows_build_and_wine.sh";

    // Quick, so a system that can lock and dismount the image file writes only the system area.
    m_formatEx(large.c_str(), 12, L"FAT32", L"VarnMID", 1, 4096, Record);
    auto lines = DetailsOf(platform::kFormatOutput);
    ASSERT_FALSE(lines.empty());
    EXPECT_NE(lines[0].find("more than the system formats as FAT32"), std::string::npos) << lines[0];
    for (auto& line : lines)
        EXPECT_EQ(line.find("root="), std::string::npos) << "the library was called: " << line;
    ASSERT_EQ(DetailsOf(platform::kFormatDone).size(), 1u);
    EXPECT_EQ(g_reports.back().command, platform::kFormatDone);
    if (g_reports.back().detail == "failed")
        EXPECT_GE(lines.size(), 2u) << "a failure without a reason";
    else
        EXPECT_EQ(DetailsOf(platform::kFormatProgress).size(), 101u);

    for (auto [root, fileSystem] : { std::pair { large, L"NTFS" }, std::pair { limit, L"FAT32" } }) {
        g_reports.clear();
        m_formatEx(root.c_str(), 12, fileSystem, L"VarnMID", 1, 4096, Record);
        ASSERT_FALSE(g_reports.empty());
        EXPECT_EQ(g_reports[0].detail.rfind("root=" + std::string(1, static_cast<char>(root[0])), 0), 0u)
            << "not the library: " << g_reports[0].detail;
    }
}

TEST_F(FormatTrampoline, LargeVolumeWriterMakesFat32ThroughAnUnbufferedHandle)
{
    auto path = std::filesystem::temp_directory_path() / L"arkeven-large-volume.img";
    constexpr std::uint64_t kSize = 300ull << 20;
    {
        platform::win32::UniqueHandle file(::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
            CREATE_ALWAYS, FILE_FLAG_NO_BUFFERING | FILE_FLAG_WRITE_THROUGH, nullptr));
        ASSERT_TRUE(file);
        LARGE_INTEGER end {};
        end.QuadPart = kSize;
        ASSERT_TRUE(::SetFilePointerEx(file.Get(), end, nullptr, FILE_BEGIN) && ::SetEndOfFile(file.Get()));

        platform::win32::VolumeSectorDevice device(file.Get(), kSize, 512);
        platform::Fat32Formatter::Settings settings;
        settings.hiddenSectors = 2048;
        EXPECT_TRUE(platform::win32::LargeVolumeFormat(settings, Record).Write(device))
            << ::testing::PrintToString(DetailsOf(platform::kFormatOutput));
        auto percents = DetailsOf(platform::kFormatProgress);
        ASSERT_EQ(percents.size(), 101u);
        for (std::size_t i = 0; i < percents.size(); ++i)
            EXPECT_EQ(percents[i], std::to_string(i));
        EXPECT_TRUE(DetailsOf(platform::kFormatDone).empty()) << "the done report is the caller's";
    }
    std::string bytes(1024 * 4, '\0');
    {
        std::FILE* file = ::_wfopen(path.c_str(), L"rb");
        ASSERT_NE(file, nullptr);
        bytes.resize(std::fread(bytes.data(), 1, bytes.size(), file));
        std::fclose(file);
    }
    std::filesystem::remove(path);
    ASSERT_EQ(bytes.size(), 4096u);
    EXPECT_EQ(bytes.substr(0x47, 19), "VarnMID    FAT32   ");
    EXPECT_EQ(bytes.substr(510, 2), "\x55\xAA");
    EXPECT_EQ(bytes.substr(0x1C, 4), std::string("\x00\x08\x00\x00", 4)) << "hidden sectors";
    EXPECT_EQ(bytes.substr(6 * 512, 1024), bytes.substr(0, 1024)) << "backup boot sector and FSInfo";
}

} // namespace
