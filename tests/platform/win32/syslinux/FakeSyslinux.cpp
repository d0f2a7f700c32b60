// A stand-in for the device maker's syslinux.exe on the Windows CD (not in Debian): for
// "syslinux -fma E:" it does to the stick what the real one does in the ways the program checks:
// ldlinux.sys in the volume's root, boot code in the disk's master boot record (-m) and the
// volume's partition marked active (-a). The disk is the drive's device as wine maps it
// (dosdevices/e::, a whole-disk image). Appends its command line and current folder to the file
// named by ARKEVEN_TEST_INSTALLER_LOG. Says so in a line on its standard output and ends 0 when all is
// written, 1 otherwise.
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static int Fail(const char* what)
{
    fprintf(stderr, "syslinux stand-in: %s (error %lu)\n", what, (unsigned long)GetLastError());
    return 1;
}

static bool WriteLoader(WCHAR letter)
{
    WCHAR path[] = { letter, L':', L'\\', 0 };
    WCHAR loader[32];
    _snwprintf(loader, 32, L"%lsldlinux.sys", path);
    HANDLE file = CreateFileW(loader, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    const char content[] = "ldlinux.sys of the syslinux stand-in\n";
    DWORD written = 0;
    BOOL ok = WriteFile(file, content, sizeof content - 1, &written, NULL);
    CloseHandle(file);
    return ok && written == sizeof content - 1;
}

static bool WriteBootRecord(WCHAR letter, bool code, bool active)
{
    WCHAR device[] = { L'\\', L'\\', L'.', L'\\', letter, L':', 0 };
    HANDLE disk = CreateFileW(device, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING, 0, NULL);
    if (disk == INVALID_HANDLE_VALUE)
        return false;
    unsigned char sector[512];
    DWORD count = 0;
    bool ok = ReadFile(disk, sector, sizeof sector, &count, NULL) && count == sizeof sector;
    if (ok) {
        if (code)
            memset(sector, 0xEB, 440);
        if (active) {
            for (int entry = 0; entry < 4; ++entry)
                sector[446 + entry * 16] = entry == 0 ? 0x80 : 0x00;
        }
        LARGE_INTEGER start = {};
        ok = SetFilePointerEx(disk, start, NULL, FILE_BEGIN) && WriteFile(disk, sector, sizeof sector, &count, NULL)
            && count == sizeof sector;
    }
    CloseHandle(disk);
    return ok;
}

int wmain(int argc, wchar_t** argv)
{
    if (const char* log = getenv("ARKEVEN_TEST_INSTALLER_LOG")) {
        if (FILE* file = fopen(log, "a")) {
            WCHAR folder[MAX_PATH] = {};
            GetCurrentDirectoryW(MAX_PATH, folder);
            fprintf(file, "%ls in %ls\n", GetCommandLineW(), folder);
            fclose(file);
        }
    }
    const wchar_t* options = L"";
    const wchar_t* target = nullptr;
    for (int i = 1; i < argc; ++i) {
        if (argv[i][0] == L'-')
            options = argv[i];
        else
            target = argv[i];
    }
    if (!target || !target[0] || target[1] != L':')
        return Fail("no drive given");
    if (!WriteLoader(target[0]))
        return Fail("can't write ldlinux.sys");
    bool code = wcschr(options, L'm') != nullptr;
    bool active = wcschr(options, L'a') != nullptr;
    if ((code || active) && !WriteBootRecord(target[0], code, active))
        return Fail("can't write the master boot record");
    // A line on its standard output, as the real installer may write: the console twin shows it.
    printf("syslinux stand-in: %lc: made bootable\n", target[0]);
    return 0;
}
