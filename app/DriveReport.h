#pragma once

#include <string>

// The drive table as `arkeven --list-drives` prints it: one line per drive with its letter,
// the name the system gives what lies behind it (as the writer shows it), its type, bus and
// size, and the list item the recovery dialog would show (or why it shows none).
std::string DescribeDrives();
