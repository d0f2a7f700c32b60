#include "stick/StickJobChecks.h"

#include "platform/files/FileData.h"
#include "platform/files/Utf8.h"
#include "stick/DriveListItem.h"
#include "stick/StickSpace.h"

#include <algorithm>
#include <fstream>

namespace fs = std::filesystem;

namespace {

constexpr std::uint64_t kMebibyte = 1024 * 1024;
// FAT32 keeps a file's size in 32 bits.
constexpr std::uint64_t kLargestFat32File = 0xFFFFFFFFull;
constexpr std::size_t kProbeBlock = 4096;

std::string Megabytes(std::uint64_t bytes)
{
    return std::to_string(bytes / kMebibyte) + " MB";
}

// The first and the last block: a file whose directory entry is fine but whose data lies on a
// damaged part of the disc fails here at least where it begins and ends.
bool ReadsAtBothEnds(const fs::path& path, std::uint64_t size)
{
    std::ifstream stream(path, std::ios::binary);
    if (!stream)
        return false;
    char block[kProbeBlock];
    auto length = static_cast<std::streamsize>(std::min<std::uint64_t>(size, kProbeBlock));
    if (!stream.read(block, length))
        return false;
    if (size > kProbeBlock) {
        stream.seekg(static_cast<std::streamoff>(size - kProbeBlock));
        if (!stream.read(block, static_cast<std::streamsize>(kProbeBlock)))
            return false;
    }
    return true;
}

StickJobChecks::Finding Found(StickJob::Outcome outcome, std::string cause, std::wstring argument = {})
{
    return { outcome, std::move(cause), std::move(argument) };
}

} // namespace

StickJobChecks::StickJobChecks(platform::Sticks& sticks, wchar_t letter, std::wstring identity, std::wstring sourceRoot)
    : m_sticks(sticks)
    , m_letter(letter)
    , m_identity(std::move(identity))
    , m_sourceRoot(std::move(sourceRoot))
{
}

StickJobChecks::Finding StickJobChecks::Run() const
{
    Finding finding = CheckBinding();
    if (!finding.Passed())
        return finding;
    std::vector<std::uint64_t> fileSizes;
    finding = CheckCd(fileSizes);
    if (!finding.Passed())
        return finding;
    finding = CheckPrograms();
    if (!finding.Passed())
        return finding;
    return CheckStick(fileSizes);
}

StickJobChecks::Finding StickJobChecks::CheckBinding() const
{
    if (m_sticks.IsDriveStill(m_letter, m_identity))
        return {};
    return Found(StickJob::Outcome::StickChanged, "drive " + ToUtf8(std::wstring(1, m_letter)) + ": is no longer the chosen stick");
}

StickJobChecks::Finding StickJobChecks::CheckCd(std::vector<std::uint64_t>& fileSizes) const
{
    for (const StickJob::CopyStep& step : StickJob::kCopySteps) {
        std::wstring drivePath = m_sourceRoot + step.source;
        std::string name = ToUtf8(drivePath);
        fs::path path = FileData::NativePath(FromUtf8(m_sticks.SourceFilePath(drivePath)));
        std::error_code error;
        if (!fs::is_regular_file(path, error))
            return Found(StickJob::Outcome::CdIncomplete, name + " is missing from the CD");
        std::uint64_t size = fs::file_size(path, error);
        if (error || !ReadsAtBothEnds(path, size))
            return Found(StickJob::Outcome::CdIncomplete, name + " can't be read");
        if (size > kLargestFat32File)
            return Found(StickJob::Outcome::CdIncomplete, name + " holds " + Megabytes(size) + "; FAT32 holds files below 4 GiB");
        fileSizes.push_back(size);
    }
    std::wstring installer = m_sourceRoot + StickJob::kInstallerProgram;
    if (m_sticks.FindInstaller(installer).empty())
        return Found(StickJob::Outcome::CdIncomplete, "the boot-loader installer " + ToUtf8(installer) + " is missing from the CD");
    return {};
}

StickJobChecks::Finding StickJobChecks::CheckPrograms() const
{
    std::vector<std::string> missing = m_sticks.MissingTools();
    if (missing.empty())
        return {};
    std::string names;
    for (const std::string& name : missing)
        names += (names.empty() ? "" : ", ") + name;
    return Found(StickJob::Outcome::ProgramMissing, "missing programs: " + names, FromUtf8(names));
}

StickJobChecks::Finding StickJobChecks::CheckStick(const std::vector<std::uint64_t>& fileSizes) const
{
    std::vector<platform::DriveFacts> drives = m_sticks.ListDrives();
    auto drive = std::find_if(drives.begin(), drives.end(), [this](const platform::DriveFacts& facts) { return facts.letter == m_letter; });
    if (drive == drives.end() || !drive->opened || !drive->queried)
        return {}; // unknown here: holding the stick will say why it can't be had
    if (drive->writeProtected)
        return Found(StickJob::Outcome::WriteProtected, "drive " + ToUtf8(std::wstring(1, m_letter)) + ": is write-protected");
    // The size as the drive list counts it: whole cylinders, never above the stick's capacity.
    std::uint64_t size = DriveSizeFromGeometry(drive->geometry);
    StickSpace space(fileSizes);
    if (space.Fits(size))
        return {};
    std::uint64_t least = space.LeastStickSize();
    return Found(StickJob::Outcome::StickTooSmall, "drive " + ToUtf8(std::wstring(1, m_letter)) + ": holds " + Megabytes(size)
        + "; FAT32 with 4096-byte clusters and the recovery system need at least " + Megabytes(least),
        StickSpace::CommonSizeAtLeast(least));
}
