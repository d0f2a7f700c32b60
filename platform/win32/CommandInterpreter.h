#pragma once

#include <string>

namespace platform {

// Runs a command line through the command interpreter with no console window, and waits for it;
// returns its exit status (-1: could not run).
int RunCommandLine(const std::wstring& commandLine);

// Runs the program file `file` (".exe", ".com"; a ".bat" or ".cmd" through the command
// interpreter) with `arguments`, its path quoted and no limit to the line's length, and waits
// for it; its exit status (-1: could not run).
int RunProgram(const std::wstring& file, const std::wstring& arguments);

} // namespace platform
