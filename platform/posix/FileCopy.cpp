#include "platform/FileCopy.h"

#include "platform/Drives.h"
#include "platform/posix/FatFileWriter.h"
#include "platform/posix/StickDrive.h"
#include "platform/posix/UniqueFd.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <functional>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

// CopyFileW / CopyFileExW on POSIX. Sources are read through the drive table (the CD); a
// destination on a stick drive goes into its FAT volume, any other destination is a plain file.
namespace platform {

namespace {

constexpr std::uint32_t kCopyFailIfExists = 0x1;
constexpr std::uint32_t kCallbackChunkFinished = 0;
constexpr std::uint32_t kCallbackStreamSwitch = 1;
constexpr std::uint32_t kProgressQuiet = 3;

// Reports bytes to a CopyProgressRoutine and remembers whether the caller wants to go on.
class ProgressReporter {
public:
    ProgressReporter(CopyProgressRoutine routine, void* data, int* cancel, std::int64_t total)
        : m_routine(routine), m_data(data), m_cancel(cancel), m_total(total) { }

    bool Report(std::uint64_t written)
    {
        if (m_cancel && *m_cancel)
            return false;
        if (!m_routine || m_quiet)
            return true;
        auto bytes = static_cast<std::int64_t>(written);
        std::uint32_t reason = m_started ? kCallbackChunkFinished : kCallbackStreamSwitch;
        m_started = true;
        auto answer = m_routine(m_total, bytes, m_total, bytes, 1, reason, nullptr, nullptr, m_data);
        if (answer == kProgressQuiet) {
            m_quiet = true;
            return true;
        }
        return answer == kProgressContinue;
    }

private:
    CopyProgressRoutine m_routine;
    void* m_data;
    int* m_cancel;
    std::int64_t m_total;
    bool m_started = false;
    bool m_quiet = false;
};

bool CopyToNativeFile(int source, std::uint64_t size, const std::string& destination, bool failIfExists,
    const std::function<bool(std::uint64_t)>& progress)
{
    int flags = O_WRONLY | O_CREAT | O_CLOEXEC | (failIfExists ? O_EXCL : O_TRUNC);
    posix::UniqueFd target(::open(destination.c_str(), flags, 0644));
    if (!target || !progress(0))
        return false;
    std::vector<char> buffer(posix::FatFileWriter::kChunkSize);
    std::uint64_t written = 0;
    for (;;) {
        ssize_t count = ::read(source, buffer.data(), buffer.size());
        if (count < 0 && errno == EINTR)
            continue;
        if (count < 0)
            return false;
        if (count == 0)
            break;
        for (ssize_t done = 0; done < count;) {
            ssize_t put = ::write(target.Get(), buffer.data() + done, static_cast<std::size_t>(count - done));
            if (put < 0 && errno == EINTR)
                continue;
            if (put <= 0)
                return false;
            done += put;
        }
        written += static_cast<std::uint64_t>(count);
        if (written < size && !progress(written))
            return false;
    }
    if (::fsync(target.Get()) != 0)
        return false;
    progress(written);
    return true;
}

bool CopyWithProgress(const std::wstring& source, const std::wstring& destination, bool failIfExists,
    CopyProgressRoutine routine, void* data, int* cancel)
{
    auto sourcePath = ToNativePath(source);
    if (sourcePath.empty())
        return false;
    posix::UniqueFd input(::open(sourcePath.c_str(), O_RDONLY | O_CLOEXEC));
    struct stat info {};
    if (!input || ::fstat(input.Get(), &info) != 0 || !S_ISREG(info.st_mode))
        return false;
    auto size = static_cast<std::uint64_t>(info.st_size);
    ProgressReporter reporter(routine, data, cancel, info.st_size);
    auto progress = [&reporter](std::uint64_t written) { return reporter.Report(written); };

    char letter = posix::StickDrive::LetterOf(destination);
    if (letter && posix::StickDrive::IsStickLetter(letter)) {
        std::string error;
        auto stick = posix::StickDrive::Volume(letter, error);
        if (!stick) {
            std::fprintf(stderr, "copy: %s\n", error.c_str());
            return false;
        }
        posix::FatFileWriter writer(stick->volume);
        auto name = posix::StickDrive::PathBelowRoot(destination);
        if (failIfExists && writer.Exists(name))
            return false;
        if (!writer.Write(input.Get(), size, name, progress, error)) {
            std::fprintf(stderr, "copy: %s: %s\n", name.c_str(), error.c_str());
            return false;
        }
        return true;
    }

    auto destinationPath = ToNativePath(destination);
    if (destinationPath.empty())
        return false;
    return CopyToNativeFile(input.Get(), size, destinationPath, failIfExists, progress);
}

} // namespace

bool CopyFileW(const std::wstring& source, const std::wstring& destination, bool failIfExists)
{
    return CopyWithProgress(source, destination, failIfExists, nullptr, nullptr, nullptr);
}

bool CopyFileExW(const std::wstring& source, const std::wstring& destination, CopyProgressRoutine progress,
    void* data, int* cancel, std::uint32_t flags)
{
    return CopyWithProgress(source, destination, (flags & kCopyFailIfExists) != 0, progress, data, cancel);
}

} // namespace platform
