#pragma once

#include <string>

namespace platform {

// Runs a command line through the command interpreter with no console window, and waits for it;
// returns its exit status (-1: could not run).
int RunCommandLine(const std::wstring& commandLine);

} // namespace platform
