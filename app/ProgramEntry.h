#pragma once

#include <string>
#include <vector>

// Which executable runs: the program itself, or on Windows its console twin Arkeven.com, the
// same program as a console program for cmd and PowerShell (they wait for it, redirect its
// output and see its status). The twin leaves the launcher to Arkeven.exe beside it.
enum class ProgramKind { Program, ConsoleTwin };

// The program's entry behind the OS's own: main on POSIX (app/main.cpp), wmain on Windows
// (app/windows/WideMain.cpp, for both executables). arguments are UTF-8, without the program's
// name.
int ArkevenMain(std::vector<std::string> arguments, ProgramKind kind = ProgramKind::Program);
