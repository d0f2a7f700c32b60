// A stand-in for the system's fmifs.dll, put into the system folder of the wine prefix (wine has
// no fmifs.dll, and the program loads it from the system folder only). Its FormatEx does what the
// system's does to a stick in the ways the program sees: it reports what it was given, empties the
// volume's root, writes its own boot code into the volume's first sector, and calls back with
// progress 0 to 100 and done. With ARKEVEN_TEST_FORMAT_FAILS set it gives up after half of it, as
// a format of a failing stick does; with ARKEVEN_TEST_FORMAT_REFUSES=write-protected or in-use it
// reports that before it writes anything, as the system's does for a locked medium or a volume
// that programs keep open. Plain C, so the DLL needs no runtime DLLs.
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

typedef enum { Progress = 0, MediaWriteProtected = 7, CantLock = 8, Done = 11, Output = 14 } CallbackCommand;
typedef struct {
    DWORD lines;
    PCHAR output;
} TextOutput;
typedef BOOLEAN(__stdcall* Callback)(CallbackCommand command, DWORD subAction, PVOID actionInfo);

static void EmptyRoot(PCWSTR root)
{
    WCHAR pattern[MAX_PATH];
    WIN32_FIND_DATAW found;
    if (_snwprintf(pattern, MAX_PATH, L"%ls*", root) < 0)
        return;
    HANDLE search = FindFirstFileW(pattern, &found);
    if (search == INVALID_HANDLE_VALUE)
        return;
    do {
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            continue;
        WCHAR path[MAX_PATH];
        if (_snwprintf(path, MAX_PATH, L"%ls%ls", root, found.cFileName) < 0)
            continue;
        SetFileAttributesW(path, FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(path);
    } while (FindNextFileW(search, &found));
    FindClose(search);
}

// The boot code a format leaves in the volume's first sector. Under wine the volume's device is
// the whole disk image: its partition table and signature stay.
static void WriteBootCode(PCWSTR root)
{
    WCHAR device[] = { L'\\', L'\\', L'.', L'\\', root[0], L':', 0 };
    HANDLE volume = CreateFileW(device, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING, 0, NULL);
    if (volume == INVALID_HANDLE_VALUE)
        return;
    unsigned char sector[512];
    DWORD count = 0;
    if (ReadFile(volume, sector, sizeof sector, &count, NULL) && count == sizeof sector) {
        memset(sector, 0, 440);
        sector[0] = 0xEB;
        sector[1] = 0x58;
        sector[2] = 0x90;
        LARGE_INTEGER start = {};
        if (SetFilePointerEx(volume, start, NULL, FILE_BEGIN))
            WriteFile(volume, sector, sizeof sector, &count, NULL);
    }
    CloseHandle(volume);
}

static void Say(Callback callback, const char* text)
{
    TextOutput output = { 1, (PCHAR)text };
    callback(Output, 0, &output);
}

extern "C" __declspec(dllexport) void __stdcall FormatEx(PWCHAR driveRoot, DWORD mediaFlag, PWCHAR format,
    PWCHAR label, BOOL quickFormat, DWORD clusterSize, Callback callback)
{
    char text[256];
    snprintf(text, sizeof text, "root=%ls media=%lu format=%ls label=%ls quick=%d cluster=%lu\n", driveRoot,
        (unsigned long)mediaFlag, format, label, quickFormat, (unsigned long)clusterSize);
    Say(callback, text);
    const char* refuses = getenv("ARKEVEN_TEST_FORMAT_REFUSES");
    if (refuses && *refuses) {
        callback(strcmp(refuses, "in-use") == 0 ? CantLock : MediaWriteProtected, 0, NULL);
        BOOLEAN failed = FALSE;
        callback(Done, 0, &failed);
        return;
    }
    EmptyRoot(driveRoot);
    WriteBootCode(driveRoot);
    bool fails = getenv("ARKEVEN_TEST_FORMAT_FAILS") != NULL;
    // The caller may stop the format at any progress report.
    for (DWORD percent = 0; percent <= 100; percent += 25) {
        if (fails && percent > 50) {
            Say(callback, "The stand-in format failed half-way.\n");
            break;
        }
        if (!callback(Progress, 0, &percent)) {
            BOOLEAN failed = FALSE;
            callback(Done, 0, &failed);
            return;
        }
    }
    BOOLEAN success = !fails && lstrcmpiW(format, L"FAT32") == 0;
    callback(Done, 0, &success);
}

extern "C" __declspec(dllexport) BOOLEAN __stdcall EnableVolumeCompression(PWCHAR driveRoot, USHORT compression)
{
    return driveRoot[0] == L'E' && compression == 1;
}
