// The format entry points handed to the program: fmifs.dll's FormatEx and EnableVolumeCompression
// behind the platform's signatures. Runs against the stand-in DLL of tests/platform/win32/fmifs/. Volumes
// above 32 GB: tests/scripts/windows_unit_tests.sh maps drive letters to sparse image files
// and names them in ARKEVEN_TEST_LARGE_DRIVE (40 GB) and ARKEVEN_TEST_LIMIT_DRIVE (32 GiB).
#include "platform/win32/FormatLibrary.h"
#include "platform/win32/LargeVolumeFormat.h"
#include "platform/win32/UniqueHandle.h"
#include "platform/win32/Volume.h"
#include "platform/win32/VolumeSectorDevice.h"

#include <winioctl.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
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
    case platform::kFormatCantLock:
        g_reports.push_back({ command, "can't lock" });
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
        ASSERT_NE(m_module, nullptr) << "fmifs.dll (the stand-in) is not in the system folder";
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
    ASSERT_EQ(g_reports.size(), 7u);
    EXPECT_EQ(g_reports[0].command, platform::kFormatOutput);
    EXPECT_EQ(g_reports[0].detail, "root=E:\\ media=12 format=FAT32 label=VarnMID quick=0 cluster=4096\n");
    EXPECT_EQ(g_reports[1].detail, "0");
    EXPECT_EQ(g_reports[5].detail, "100");
    EXPECT_EQ(g_reports[6].command, platform::kFormatDone);
    EXPECT_EQ(g_reports[6].detail, "ok");
}

TEST_F(FormatTrampoline, ACallbackAnsweringFalseStopsTheFormat)
{
    g_stopAtPercent = 75;
    m_formatEx(L"E:\\", 12, L"FAT32", L"VarnMID", 0, 4096, Record);
    ASSERT_EQ(g_reports.size(), 6u);
    EXPECT_EQ(g_reports[4].detail, "75");
    EXPECT_EQ(g_reports[5].detail, "failed");
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
        GTEST_SKIP() << "needs the drives of windows_unit_tests.sh";

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

// A stick's volume as the system gives it after a file system smaller than its partition: until
// extended I/O is allowed, a write past the old file system's end writes nothing and one across
// it is cut short. Another program holds the volume: the lock is refused until a dismount took
// it from that program, or for good (`inUseForGood`). As FAT does, it refuses to dismount a
// volume dismounted already. `steps` records the calls in order. The bytes live in an image file.
class StandInVolumeDevice : public platform::win32::DeviceCalls {
public:
    StandInVolumeDevice(std::filesystem::path image, std::uint64_t size, std::uint64_t oldFileSystemEnd, bool inUseForGood)
        : m_image(std::move(image))
        , m_size(size)
        , m_oldFileSystemEnd(oldFileSystemEnd)
        , m_inUseForGood(inUseForGood)
    {
    }

    BOOL Control(HANDLE, DWORD code, void* in, DWORD, void* out, DWORD outSize, DWORD* returned) override
    {
        *returned = 0;
        switch (code) {
        case FSCTL_ALLOW_EXTENDED_DASD_IO:
            extendedIo = true;
            return TRUE;
        case FSCTL_LOCK_VOLUME:
            // Another program has it open until a dismount takes it from under it.
            if (m_inUseForGood || !othersGone) {
                ++refusedLocks;
                ::SetLastError(ERROR_ACCESS_DENIED);
                return FALSE;
            }
            steps.push_back("lock");
            return TRUE;
        case FSCTL_DISMOUNT_VOLUME:
            steps.push_back("dismount");
            if (dismounted) {
                ::SetLastError(ERROR_NOT_READY);
                return FALSE;
            }
            dismounted = othersGone = true;
            return TRUE;
        case FSCTL_UNLOCK_VOLUME:
            steps.push_back("unlock");
            return TRUE;
        case IOCTL_DISK_UPDATE_PROPERTIES:
            steps.push_back("update properties");
            return TRUE;
        case IOCTL_DISK_GET_DRIVE_GEOMETRY: {
            DISK_GEOMETRY geometry {};
            geometry.BytesPerSector = 512;
            return Answer(geometry, out, outSize, returned);
        }
        case IOCTL_DISK_GET_PARTITION_INFO_EX: {
            PARTITION_INFORMATION_EX partition {};
            partition.PartitionStyle = PARTITION_STYLE_MBR;
            partition.StartingOffset.QuadPart = 1 << 20;
            partition.PartitionLength.QuadPart = static_cast<LONGLONG>(m_size);
            partition.Mbr.PartitionType = 0x07; // NTFS, as the stick came
            return Answer(partition, out, outSize, returned);
        }
        case IOCTL_DISK_SET_PARTITION_INFO_EX: {
            auto* partition = static_cast<SET_PARTITION_INFORMATION_EX*>(in);
            if (partition->PartitionStyle != PARTITION_STYLE_MBR)
                return FALSE;
            partitionType = partition->Mbr.PartitionType;
            steps.push_back("set type");
            return TRUE;
        }
        default:
            ::SetLastError(ERROR_INVALID_FUNCTION);
            return FALSE;
        }
    }

    // Opening a dismounted volume mounts it again, with a fresh file system and its own handle.
    HANDLE OpenVolume(const std::wstring&) override
    {
        steps.push_back("open");
        dismounted = false;
        extendedIo = false;
        return ::CreateFileW(m_image.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
            OPEN_EXISTING, FILE_FLAG_NO_BUFFERING | FILE_FLAG_WRITE_THROUGH, nullptr);
    }

    BOOL Write(HANDLE handle, const void* data, DWORD size, DWORD* done, OVERLAPPED* position) override
    {
        ++writes;
        if (steps.empty() || steps.back() != "write")
            steps.push_back("write");
        std::uint64_t offset = position->Offset | (static_cast<std::uint64_t>(position->OffsetHigh) << 32);
        if (!extendedIo && offset + size > m_oldFileSystemEnd) {
            *done = 0;
            if (offset >= m_oldFileSystemEnd)
                return TRUE;
            size = static_cast<DWORD>(m_oldFileSystemEnd - offset);
        }
        return DeviceCalls::Write(handle, data, size, done, position);
    }

    bool extendedIo = false;
    bool dismounted = false;
    bool othersGone = false;
    int refusedLocks = 0;
    int writes = 0;
    std::uint8_t partitionType = 0;
    std::vector<std::string> steps;

private:
    template<typename Record>
    static BOOL Answer(const Record& record, void* out, DWORD outSize, DWORD* returned)
    {
        if (outSize < sizeof record)
            return FALSE;
        std::memcpy(out, &record, sizeof record);
        *returned = sizeof record;
        return TRUE;
    }

    std::filesystem::path m_image;
    std::uint64_t m_size;
    std::uint64_t m_oldFileSystemEnd;
    bool m_inUseForGood;
};

class LargeVolumeOnAStandInDevice : public ::testing::Test {
protected:
    static constexpr std::uint64_t kSize = 40ull << 20;
    static constexpr std::uint64_t kOldFileSystemEnd = kSize - (4ull << 20);

    void SetUp() override
    {
        g_reports.clear();
        m_path = std::filesystem::temp_directory_path() / L"arkeven-stand-in-volume.img";
        // What the old file system does not cover holds old bytes, to see whether the format got there.
        std::ofstream image(m_path, std::ios::binary);
        image << std::string(kOldFileSystemEnd, '\0') << std::string(kSize - kOldFileSystemEnd, '\xA5');
    }
    void TearDown() override { std::filesystem::remove(m_path); }

    void Format(StandInVolumeDevice& device)
    {
        platform::win32::UniqueHandle file(::CreateFileW(m_path.c_str(), GENERIC_READ | GENERIC_WRITE,
            FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, FILE_FLAG_NO_BUFFERING | FILE_FLAG_WRITE_THROUGH, nullptr));
        ASSERT_TRUE(file);
        platform::win32::Volume volume(std::move(file), L"\\\\.\\T:", device);
        volume.SetLockPatience(300);
        platform::Fat32Formatter::Settings settings;
        settings.clusterSize = 512;
        platform::win32::LargeVolumeFormat(settings, Record).Run(volume, kSize);
    }

    std::string Tail() const
    {
        std::ifstream image(m_path, std::ios::binary);
        image.seekg(static_cast<std::streamoff>(kOldFileSystemEnd));
        std::string tail(kSize - kOldFileSystemEnd, '?');
        image.read(tail.data(), static_cast<std::streamsize>(tail.size()));
        return tail;
    }

    std::filesystem::path m_path;
};

TEST_F(LargeVolumeOnAStandInDevice, HeldVolumeIsTakenAndWrittenToItsEnd)
{
    StandInVolumeDevice device(m_path, kSize, kOldFileSystemEnd, false);
    Format(device);
    auto lines = DetailsOf(platform::kFormatOutput);
    ASSERT_EQ(DetailsOf(platform::kFormatDone), std::vector<std::string> { "ok" }) << ::testing::PrintToString(lines);
    EXPECT_GT(device.refusedLocks, 1) << "the lock is tried again before the dismount";
    // Dismounted to take it from its user, which ends this handle too; opened afresh, locked, and
    // dismounted again under the lock before any write; after the writing dismounted again before
    // the unlock, so the system mounts the new file system afresh.
    std::vector<std::string> expected { "dismount", "open", "lock", "dismount", "write", "set type", "update properties",
        "dismount", "unlock" };
    EXPECT_EQ(device.steps, expected);
    EXPECT_EQ(Tail(), std::string(kSize - kOldFileSystemEnd, '\0')) << "the full format did not reach the volume's end";
    EXPECT_EQ(device.partitionType, 0x0C);
}

TEST_F(LargeVolumeOnAStandInDevice, VolumeThatStaysInUseEndsTheFormatBeforeAnyWrite)
{
    StandInVolumeDevice device(m_path, kSize, kOldFileSystemEnd, true);
    Format(device);
    EXPECT_EQ(DetailsOf(platform::kFormatDone), std::vector<std::string> { "failed" });
    EXPECT_EQ(DetailsOf(platform::kFormatCantLock).size(), 1u) << "the job is to name the cause: the volume in use";
    auto lines = DetailsOf(platform::kFormatOutput);
    ASSERT_FALSE(lines.empty());
    EXPECT_NE(lines.back().find("T: is in use by another program"), std::string::npos) << lines.back();
    EXPECT_EQ(device.writes, 0);
    EXPECT_EQ(Tail(), std::string(kSize - kOldFileSystemEnd, '\xA5'));
}

} // namespace
