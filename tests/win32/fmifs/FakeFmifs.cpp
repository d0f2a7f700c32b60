// A stand-in for the system's fmifs.dll, put beside test_windows.exe so that LoadLibraryW finds
// it first (wine has no fmifs.dll). Its FormatEx reports what it was given and calls back the
// way the system's does: progress, a text line, done. Plain C, so the DLL needs no runtime DLLs.
#include <windows.h>

#include <stdio.h>

typedef enum { Progress = 0, Done = 11, Output = 14 } CallbackCommand;
typedef struct {
    DWORD lines;
    PCHAR output;
} TextOutput;
typedef BOOLEAN(__stdcall* Callback)(CallbackCommand command, DWORD subAction, PVOID actionInfo);

extern "C" __declspec(dllexport) void __stdcall FormatEx(PWCHAR driveRoot, DWORD mediaFlag, PWCHAR format,
    PWCHAR label, BOOL quickFormat, DWORD clusterSize, Callback callback)
{
    char text[256];
    snprintf(text, sizeof text, "root=%ls media=%lu format=%ls label=%ls quick=%d cluster=%lu\n", driveRoot,
        (unsigned long)mediaFlag, format, label, quickFormat, (unsigned long)clusterSize);
    TextOutput output = { 1, text };
    callback(Output, 0, &output);
    // The caller may stop the format at any progress report.
    for (DWORD percent = 50; percent <= 100; percent += 25) {
        if (!callback(Progress, 0, &percent)) {
            BOOLEAN failed = FALSE;
            callback(Done, 0, &failed);
            return;
        }
    }
    BOOLEAN success = lstrcmpiW(format, L"FAT32") == 0;
    callback(Done, 0, &success);
}

extern "C" __declspec(dllexport) BOOLEAN __stdcall EnableVolumeCompression(PWCHAR driveRoot, USHORT compression)
{
    return driveRoot[0] == L'E' && compression == 1;
}
