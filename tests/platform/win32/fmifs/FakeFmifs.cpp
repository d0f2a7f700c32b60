// A stand-in for the system's fmifs.dll, put into the system folder of the wine prefix (wine has
// no fmifs.dll, and the program loads it from the system folder only). Its FormatEx does what the
// system's does to a stick in the ways the program sees: it reports what it was given, empties the
// volume's root, and calls back with progress 0 to 100 and done. With ARKEVEN_TEST_FORMAT_FAILS
// set it gives up after half of it, as a format of a failing stick does. Plain C, so the DLL
// needs no runtime DLLs.
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>

typedef enum { Progress = 0, Done = 11, Output = 14 } CallbackCommand;
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
    EmptyRoot(driveRoot);
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
