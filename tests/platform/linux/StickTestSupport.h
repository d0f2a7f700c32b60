#pragma once

// A throw-away CD tree and virtual sticks in a temp folder, put into the process-wide drive table.

#include "platform/Sticks.h"
#include "platform/disk/Fat32Formatter.h"
#include "platform/linux/DriveTable.h"

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <gtest/gtest.h>
#include <string>
#include <sys/wait.h>
#include <vector>

namespace stick_test {

namespace fs = std::filesystem;

inline std::string ReadFile(const fs::path& path)
{
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), {});
}

inline void WriteFile(const fs::path& path, const std::string& bytes)
{
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
}

inline std::vector<std::uint8_t> ReadBytes(const fs::path& path, std::uint64_t offset, std::size_t size)
{
    std::ifstream file(path, std::ios::binary);
    file.seekg(static_cast<std::streamoff>(offset));
    std::vector<std::uint8_t> bytes(size);
    file.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(size));
    bytes.resize(static_cast<std::size_t>(file.gcount()));
    return bytes;
}

// Runs a shell line for checking results (never for the code under test); exit status and output.
struct ShellResult {
    int status = -1;
    std::string output;
};
inline ShellResult Shell(const std::string& line)
{
    ShellResult result;
    FILE* pipe = ::popen((line + " 2>&1").c_str(), "r");
    if (!pipe)
        return result;
    char buffer[4096];
    size_t count;
    while ((count = fread(buffer, 1, sizeof buffer, pipe)) > 0)
        result.output.append(buffer, count);
    int status = ::pclose(pipe);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

class StickFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_root = fs::temp_directory_path() / ("arkeven-stick-" + std::to_string(::getpid()) + "-" + std::to_string(s_counter++));
        fs::remove_all(m_root);
        fs::create_directories(m_root / "cd" / "AUTORUN");
        fs::create_directories(m_root / "sys");
    }
    void TearDown() override
    {
        platform::linux::DriveTable::ResetInstance();
        fs::remove_all(m_root);
    }

    // A sparse image file of `mebibytes`.
    fs::path MakeImage(const std::string& name, std::uint64_t mebibytes)
    {
        auto path = m_root / name;
        std::ofstream(path, std::ios::binary).close();
        fs::resize_file(path, mebibytes * 1024 * 1024);
        return path;
    }

    // Builds the drive table over the CD tree and the images; returns each image's drive letter.
    std::vector<char> UseDrives(const std::vector<fs::path>& images)
    {
        platform::linux::DriveTable::Options options;
        options.sysfsRoot = (m_root / "sys").string();
        options.devRoot = (m_root / "dev").string();
        options.cdRoot = (m_root / "cd").string();
        std::string sticks;
        for (auto& image : images)
            sticks += (sticks.empty() ? "" : ",") + image.string();
        options.virtualSticks = sticks;
        platform::linux::DriveTable::ResetInstance(options);
        std::vector<char> letters;
        auto drives = platform::linux::DriveTable::Instance().Drives();
        for (auto& image : images) {
            char letter = 0;
            for (auto& drive : drives)
                if (drive.kind == platform::linux::DriveInfo::Kind::VirtualStick && fs::path(drive.path) == image)
                    letter = drive.letter;
            letters.push_back(letter);
        }
        return letters;
    }

    static std::wstring Root(char letter) { return std::wstring(1, static_cast<wchar_t>(letter)) + L":\\"; }
    fs::path Cd() const { return m_root / "cd"; }

    fs::path m_root;
    static inline int s_counter = 0;
};

// Holds a stick through the platform's sticks and formats it FAT32 "VarnMID" with 4096-byte
// clusters, every report recorded. A refused hold counts as a failed format, its reason as a line.
struct FormatRecord {
    std::vector<std::uint32_t> percents;
    std::vector<std::string> lines;
    platform::FormatOutcome outcome = platform::FormatOutcome::Unfinished;
    int stopAtPercent = -1;
};
void FormatDrive(char letter, bool quick, FormatRecord& record);

// The held stick behind `letter`, bound to the device it names now; null when refused.
std::unique_ptr<platform::HeldStick> HoldStick(char letter);

// The platform's own FAT32 writer on a byte range of an image file, every report recorded.
struct OwnFormatOutcome {
    bool ok = false;
    std::string error;
    std::vector<std::uint32_t> percents;
    std::vector<std::string> lines;
    double seconds = 0;
};
OwnFormatOutcome FormatWithOwnWriter(const fs::path& image, std::uint64_t offset, std::uint64_t size,
    platform::Fat32Formatter::Settings settings, int stopAtPercent = -1);
// A master boot record with one FAT32 (LBA) partition from 1 MiB to the image's end; its bytes.
std::vector<std::uint8_t> WritePartitionTable(const fs::path& image);

} // namespace stick_test
