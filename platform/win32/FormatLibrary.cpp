#include "platform/win32/FormatLibrary.h"

#include "platform/files/Utf8.h"
#include "platform/win32/LargeVolumeFormat.h"
#include "platform/win32/Volume.h"

#include <windows.h>

#include <cwctype>
#include <mutex>

// "fmifs.dll" loaded from the system folder. Its entry points are handed out behind trampolines in the
// shapes of FormatLibrary.h: the library calls back as BOOLEAN __stdcall (CALLBACKCOMMAND,
// DWORD, PVOID), which is not the program's FormatCallback on every ABI. FAT32 on a volume above
// 32 GB, which the library refuses, is written by LargeVolumeFormat instead, with the same reports.
namespace platform {

namespace {

enum CallbackCommand : int { }; // FMIFS's CALLBACKCOMMAND: an enumeration, passed as int
using FmifsCallback = BOOLEAN(__stdcall*)(CallbackCommand command, DWORD subAction, PVOID actionInfo);
using FmifsFormatEx = void(__stdcall*)(PWCHAR driveRoot, DWORD mediaFlag, PWCHAR format, PWCHAR label,
    BOOL quickFormat, DWORD clusterSize, FmifsCallback callback);
using FmifsEnableVolumeCompression = BOOLEAN(__stdcall*)(PWCHAR driveRoot, USHORT compression);

HMODULE g_fmifs = nullptr;
FmifsFormatEx g_realFormatEx = nullptr;
FmifsEnableVolumeCompression g_realEnableVolumeCompression = nullptr;

// FormatEx calls back on its caller's thread and its callback carries no context of its own, so
// the program's callback waits here, one per formatting thread, for the length of its format.
thread_local FormatCallback t_formatCallback = nullptr;

BOOLEAN __stdcall ForwardFormatCallback(CallbackCommand command, DWORD subAction, PVOID actionInfo)
{
    FormatCallback callback = t_formatCallback;
    if (!callback)
        return TRUE;
    return callback(static_cast<std::uint32_t>(command), subAction, actionInfo) ? TRUE : FALSE;
}

// True when the volume was too large for the library's FAT32 and has been formatted here. A volume
// that can't be opened or measured is left to the library, which reports why it can't format it.
bool FormattedAsLargeVolume(const std::wstring& root, const std::wstring& format, const std::wstring& label,
    int quickFormat, std::uint32_t clusterSize, FormatCallback callback)
{
    if (root.size() < 2 || root[1] != L':')
        return false;
    std::string error;
    auto volume = win32::Volume::Open(root[0], error);
    auto length = volume ? volume->Length() : std::nullopt;
    if (!length || !win32::LargeVolumeFormat::IsNeeded(format, *length))
        return false;
    Fat32Formatter::Settings settings;
    settings.label = ToUtf8(label);
    settings.quick = quickFormat != 0;
    if (clusterSize)
        settings.clusterSize = clusterSize;
    win32::LargeVolumeFormat(settings, callback).Run(*volume, *length);
    return true;
}

void FormatExTrampoline(const wchar_t* driveRoot, std::uint32_t mediaType, const wchar_t* fileSystem,
    const wchar_t* label, int quickFormat, std::uint32_t clusterSize, FormatCallback callback)
{
    if (!g_realFormatEx)
        return;
    std::wstring root = driveRoot ? driveRoot : L"";
    std::wstring format = fileSystem ? fileSystem : L"";
    std::wstring name = label ? label : L"";
    if (FormattedAsLargeVolume(root, format, name, quickFormat, clusterSize, callback))
        return;
    t_formatCallback = callback;
    g_realFormatEx(root.data(), mediaType, format.data(), name.data(), quickFormat, clusterSize, &ForwardFormatCallback);
    t_formatCallback = nullptr;
}

bool EnableVolumeCompressionTrampoline(const wchar_t* driveRoot, std::uint16_t compression)
{
    if (!g_realEnableVolumeCompression || !driveRoot)
        return false;
    std::wstring root = driveRoot;
    return g_realEnableVolumeCompression(root.data(), compression) != FALSE;
}

bool IsFmifs(const std::wstring& name)
{
    std::wstring lowered;
    for (wchar_t c : name)
        lowered.push_back(static_cast<wchar_t>(std::towlower(c)));
    return lowered == L"fmifs.dll" || lowered == L"fmifs";
}

} // namespace

// The program loads system libraries only, and only from the system folder: a planted
// "fmifs.dll" beside a copied CD tree (in Downloads, say) would run with administrator rights.
// Windows 7 without update KB2533623 refuses the search flag; it gets the full path instead, with
// the library's own dependencies looked for beside it (in the system folder) rather than beside
// the program.
ModuleHandle LoadLibraryW(const std::wstring& name)
{
    HMODULE module = ::LoadLibraryExW(name.c_str(), nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (!module && ::GetLastError() == ERROR_INVALID_PARAMETER) {
        wchar_t folder[MAX_PATH] = {};
        UINT length = ::GetSystemDirectoryW(folder, MAX_PATH);
        if (length > 0 && length < MAX_PATH)
            module = ::LoadLibraryExW((std::wstring(folder, length) + L"\\" + name).c_str(), nullptr,
                LOAD_WITH_ALTERED_SEARCH_PATH);
    }
    if (module && IsFmifs(name) && !g_fmifs) {
        g_fmifs = module;
        g_realFormatEx = reinterpret_cast<FmifsFormatEx>(reinterpret_cast<void*>(::GetProcAddress(module, "FormatEx")));
        g_realEnableVolumeCompression = reinterpret_cast<FmifsEnableVolumeCompression>(
            reinterpret_cast<void*>(::GetProcAddress(module, "EnableVolumeCompression")));
    }
    return module;
}

void* GetProcAddress(ModuleHandle module, const char* name)
{
    if (!module || !name)
        return nullptr;
    auto* native = static_cast<HMODULE>(module);
    if (native == g_fmifs) {
        std::string entry(name);
        if (entry == "FormatEx")
            return g_realFormatEx ? reinterpret_cast<void*>(&FormatExTrampoline) : nullptr;
        if (entry == "EnableVolumeCompression")
            return g_realEnableVolumeCompression ? reinterpret_cast<void*>(&EnableVolumeCompressionTrampoline) : nullptr;
    }
    return reinterpret_cast<void*>(::GetProcAddress(native, name));
}

FormatExFunction g_pfnFormatEx = nullptr;
EnableVolumeCompressionFunction g_pfnEnableVolumeCompression = nullptr;

// Looked up once for the whole run: jobs on several sticks start on threads of their own, and
// the entry points are written only here, before any job can read them.
bool LoadFmifsEntryPoints()
{
    static std::once_flag s_loaded;
    std::call_once(s_loaded, [] {
        ModuleHandle module = LoadLibraryW(L"fmifs.dll");
        if (!module)
            return;
        g_pfnFormatEx = reinterpret_cast<FormatExFunction>(GetProcAddress(module, "FormatEx"));
        if (!g_pfnFormatEx)
            return;
        g_pfnEnableVolumeCompression = reinterpret_cast<EnableVolumeCompressionFunction>(GetProcAddress(module, "EnableVolumeCompression"));
    });
    return g_pfnFormatEx && g_pfnEnableVolumeCompression;
}

} // namespace platform
