#include "platform/linux/FatFileWriter.h"

#include "platform/linux/ChildProcess.h"
#include "platform/linux/PositionedIo.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <regex>
#include <unistd.h>

namespace platform::linux {

namespace {

int RunQuietly(const std::vector<std::string>& arguments)
{
    ChildProcess::Options options;
    options.arguments = arguments;
    options.extraEnvironment = FatFileWriter::MtoolsEnvironment();
    std::string error;
    auto child = ChildProcess::Spawn(options, error);
    return child ? child->Wait() : -1;
}

} // namespace

FatFileWriter::FatFileWriter(StickVolume volume)
    : m_volume(std::move(volume))
{
}

std::vector<std::string> FatFileWriter::MtoolsEnvironment()
{
    return { "MTOOLS_SKIP_CHECK=1", "MTOOLSRC=/dev/null", "DEFAULT_CODEPAGE=367" };
}

bool FatFileWriter::Exists(const std::string& name) const
{
    return RunQuietly({ "mdir", "-a", "-b", "-i", m_volume.MtoolsImage(), VolumePath(name) }) == 0;
}

bool FatFileWriter::Remove(const std::string& name) const
{
    return RunQuietly({ "mdel", "-i", m_volume.MtoolsImage(), VolumePath(name) }) == 0;
}

bool FatFileWriter::Write(int sourceFd, std::uint64_t size, const std::string& name,
    const std::function<bool(std::uint64_t written)>& progress, std::string& error)
{
    if (name.empty()) {
        error = "no file name";
        return false;
    }
    if (progress && !progress(0)) {
        error = "copy cancelled";
        return false;
    }

    ChildProcess::Options options;
    // -D o / -D O: a file of the same long or short name is replaced, never asked about.
    options.arguments = { "mcopy", "-D", "o", "-D", "O", "-i", m_volume.MtoolsImage(), "-", VolumePath(name) };
    options.extraEnvironment = MtoolsEnvironment();
    options.feedInput = true;
    auto child = ChildProcess::Spawn(options, error);
    if (!child)
        return false;
    std::string mcopyOutput;
    child->SetOutputSink([&mcopyOutput](const std::string& line) { mcopyOutput += (mcopyOutput.empty() ? "" : "; ") + line; });

    std::vector<char> buffer(kChunkSize);
    std::uint64_t written = 0;
    bool fed = true;
    while (written < size) {
        ssize_t count = ::read(sourceFd, buffer.data(), static_cast<std::size_t>(std::min<std::uint64_t>(buffer.size(), size - written)));
        if (count < 0 && errno == EINTR)
            continue;
        if (count <= 0) {
            error = count < 0 ? std::string("read error: ") + std::strerror(errno) : "the source file shrank";
            fed = false;
            break;
        }
        if (!child->WriteInput(buffer.data(), static_cast<std::size_t>(count))) {
            error = "mcopy stopped taking data";
            fed = false;
            break;
        }
        written += static_cast<std::uint64_t>(count);
        if (written < size && progress && !progress(written)) {
            error = "copy cancelled";
            fed = false;
            break;
        }
    }
    child->CloseInput();
    int status = child->Wait();
    if (!fed || status != 0) {
        if (fed)
            error = "mcopy failed (status " + std::to_string(status) + ")" + (mcopyOutput.empty() ? "" : ": " + mcopyOutput);
        Remove(name); // no truncated file is left behind
        return false;
    }
    // mcopy may end with status 0 after "No space left" when the pipe already held the tail.
    auto stored = StoredSize(name);
    if (!stored || *stored != size) {
        error = "the volume holds " + (stored ? std::to_string(*stored) : std::string("no")) + " bytes of " + std::to_string(size);
        Remove(name);
        return false;
    }
    if (progress)
        progress(size);
    return true;
}

ReadBackResult FatFileWriter::Compare(int sourceFd, std::uint64_t size, const std::string& name, std::string& detail) const
{
    ChildProcess::Options options;
    options.arguments = { "mtype", "-i", m_volume.MtoolsImage(), VolumePath(name) };
    options.extraEnvironment = MtoolsEnvironment();
    options.readOutput = true;
    auto child = ChildProcess::Spawn(options, detail);
    if (!child)
        return ReadBackResult::Unreadable;
    std::string complaint;
    child->SetOutputSink([&complaint](const std::string& line) { complaint += (complaint.empty() ? "" : "; ") + line; });

    std::vector<std::uint8_t> original(kChunkSize);
    std::vector<std::uint8_t> stored(kChunkSize);
    std::uint64_t compared = 0;
    for (;;) {
        ssize_t count = child->ReadOutput(stored.data(), stored.size());
        if (count < 0) {
            detail = name + ": can't read it back";
            return ReadBackResult::Unreadable;
        }
        if (count == 0)
            break;
        if (!ReadFully(sourceFd, original.data(), static_cast<std::size_t>(count), compared)
            || std::memcmp(original.data(), stored.data(), static_cast<std::size_t>(count)) != 0) {
            detail = name + " on the stick differs from the original near byte " + std::to_string(compared);
            return ReadBackResult::Different;
        }
        compared += static_cast<std::uint64_t>(count);
    }
    int status = child->Wait();
    if (status != 0) {
        detail = name + ": can't read it back (mtype status " + std::to_string(status) + (complaint.empty() ? "" : ": " + complaint) + ")";
        return ReadBackResult::Unreadable;
    }
    if (compared != size) {
        detail = name + " on the stick holds " + std::to_string(compared) + " bytes of " + std::to_string(size);
        return ReadBackResult::Different;
    }
    return ReadBackResult::Same;
}

std::optional<std::uint64_t> FatFileWriter::StoredSize(const std::string& name) const
{
    ChildProcess::Options options;
    options.arguments = { "mdir", "-a", "-i", m_volume.MtoolsImage(), VolumePath(name) };
    options.extraEnvironment = MtoolsEnvironment();
    std::string error;
    auto child = ChildProcess::Spawn(options, error);
    if (!child)
        return std::nullopt;
    // An entry line reads "NAME     EXT      SIZE yyyy-mm-dd  hh:mm  long name"; the size is the
    // word before the date.
    std::optional<std::uint64_t> size;
    static const std::regex entry(R"((\d+) \d{4}-\d{2}-\d{2} )");
    child->SetOutputSink([&size](const std::string& line) {
        std::smatch match;
        if (!size && std::regex_search(line, match, entry))
            size = std::stoull(match[1].str());
    });
    if (child->Wait() != 0)
        return std::nullopt;
    return size;
}

} // namespace platform::linux
