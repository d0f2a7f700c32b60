#pragma once

#include <cstddef>

// Process-wide state shared by the windows, as fixed buffers of 260 wide characters.
constexpr std::size_t kPathBufferSize = 260;

// The executable's folder with a trailing backslash ("D:\AUTORUN\"); written once at start-up.
extern wchar_t g_szAppDir[kPathBufferSize];
// Values of the chosen model and operating-system entries; empty until a selection completes.
extern wchar_t g_szModel[kPathBufferSize];
extern wchar_t g_szOS[kPathBufferSize];
