#pragma once

#include <string>
#include <vector>

// The program's entry behind the OS's own: main on POSIX (app/main.cpp), wmain on Windows
// (app/windows/WideMain.cpp). arguments are UTF-8, without the program's name.
int ArkevenMain(std::vector<std::string> arguments);
