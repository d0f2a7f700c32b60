#include "stick/OfferedDrive.h"

#include "shared/Globals.h"

#include <cwctype>

wchar_t ProgramDriveLetter()
{
    if (g_szAppDir[0] && g_szAppDir[1] == L':')
        return static_cast<wchar_t>(std::towupper(g_szAppDir[0]));
    return 0;
}

bool IsOfferedDrive(const platform::DriveFacts& drive)
{
    return drive.IsUsbDrive() && drive.letter != ProgramDriveLetter();
}
