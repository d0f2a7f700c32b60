#include "platform/Format.h"

#include "platform/FormatReporter.h"
#include "platform/posix/StickDrive.h"
#include "platform/posix/VolumeFormatter.h"

#include <cwctype>

// The POSIX answer to "fmifs.dll": FormatEx formats a USB stick or virtual stick with
// VolumeFormatter; EnableVolumeCompression exists, as the writer requires, but FAT has nothing
// to compress.
namespace platform {

namespace {

int g_moduleToken;

bool EqualsIgnoringCase(const std::wstring& a, const std::wstring& b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::towlower(a[i]) != std::towlower(b[i]))
            return false;
    return true;
}

std::string Narrow(const wchar_t* text)
{
    std::string narrow;
    for (; text && *text; ++text)
        narrow += *text < 0x80 ? static_cast<char>(*text) : '_';
    return narrow;
}

void PosixFormatEx(const wchar_t* driveRoot, std::uint32_t, const wchar_t* fileSystem, const wchar_t* label,
    int quickFormat, std::uint32_t clusterSize, FormatCallback callback)
{
    FormatReporter reporter(callback);
    // The reason is the format's last text line, as the system's format service words its own.
    auto fail = [&](const std::string& why) {
        reporter.Line("format: " + why);
        reporter.Done(false);
    };
    if (!driveRoot || !fileSystem || !EqualsIgnoringCase(fileSystem, L"FAT32"))
        return fail("only FAT32 volumes can be made");

    std::string error;
    auto stick = posix::StickDrive::Disk(posix::StickDrive::LetterOf(driveRoot), error);
    if (!stick)
        return fail(error);

    posix::VolumeFormatter::Settings settings;
    settings.label = Narrow(label);
    settings.clusterSize = clusterSize;
    settings.quick = quickFormat != 0;
    posix::VolumeFormatter::Listener listener;
    listener.progress = [reporter](std::uint32_t percent) { return reporter.Progress(percent); };
    listener.output = [reporter](const std::string& line) { reporter.Line(line); };

    posix::VolumeFormatter formatter(stick->volume, settings, listener);
    if (!formatter.Run(error))
        return fail(error);
    reporter.Done(true);
}

bool PosixEnableVolumeCompression(const wchar_t*, std::uint16_t)
{
    return false;
}

} // namespace

ModuleHandle LoadLibraryW(const std::wstring& name)
{
    if (EqualsIgnoringCase(name, L"fmifs.dll") || EqualsIgnoringCase(name, L"fmifs"))
        return &g_moduleToken;
    return nullptr;
}

void* GetProcAddress(ModuleHandle module, const char* name)
{
    if (module != &g_moduleToken || !name)
        return nullptr;
    std::string entry(name);
    if (entry == "FormatEx")
        return reinterpret_cast<void*>(&PosixFormatEx);
    if (entry == "EnableVolumeCompression")
        return reinterpret_cast<void*>(&PosixEnableVolumeCompression);
    return nullptr;
}

} // namespace platform
