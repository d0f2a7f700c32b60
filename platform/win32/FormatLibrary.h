#pragma once

#include <cstdint>
#include <string>

// The file-system utility library's format entry points ("fmifs.dll"), loaded from the system
// folder and handed out behind trampolines (win32/FormatLibrary.cpp).
namespace platform {

// Callback commands the writer relies on.
constexpr std::uint32_t kFormatProgress = 0;   // actionInfo: std::uint32_t* percentage
constexpr std::uint32_t kFormatWriteProtected = 7; // the medium refuses writes; nothing was written
constexpr std::uint32_t kFormatCantLock = 8;   // programs have the volume open
constexpr std::uint32_t kFormatDone = 11;      // actionInfo: std::uint8_t* success flag (0: failed)
constexpr std::uint32_t kFormatOutput = 14;    // actionInfo: FormatTextOutput*

struct FormatTextOutput {
    std::uint32_t lines;
    const char* output;
};

using FormatCallback = bool (*)(std::uint32_t command, std::uint32_t subAction, void* actionInfo);
using FormatExFunction = void (*)(const wchar_t* driveRoot, std::uint32_t mediaType, const wchar_t* fileSystem,
    const wchar_t* label, int quickFormat, std::uint32_t clusterSize, FormatCallback callback);
using EnableVolumeCompressionFunction = bool (*)(const wchar_t* driveRoot, std::uint16_t compression);

using ModuleHandle = void*;
// Loaded modules are never freed. Null when the library is missing.
ModuleHandle LoadLibraryW(const std::wstring& name);
void* GetProcAddress(ModuleHandle module, const char* name);

// The library's two entry points, looked up by the first call of LoadFmifsEntryPoints and kept
// for the run; the second must be there, though nothing calls it.
extern FormatExFunction g_pfnFormatEx;
extern EnableVolumeCompressionFunction g_pfnEnableVolumeCompression;
bool LoadFmifsEntryPoints();

} // namespace platform
