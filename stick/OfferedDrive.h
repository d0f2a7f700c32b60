#pragma once

#include "platform/Sticks.h"

// Which drives a stick job may be offered, for the start dialog's list and the command line's
// targets alike.

// The drive the program runs from (from g_szAppDir), upper case; 0 when it has no letter.
wchar_t ProgramDriveLetter();

// A USB drive the system let us open and query, and never the program's own drive: formatting
// that would destroy the source.
bool IsOfferedDrive(const platform::DriveFacts& drive);
