#pragma once

#include <string>

namespace platform::linux {

// The running program's own file, as the kernel names it; empty when it can't be read.
std::string OwnExecutablePath();

} // namespace platform::linux
