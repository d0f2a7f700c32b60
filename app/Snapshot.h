#pragma once

#include <string>

// Renders one window of the skin ("MainFrm", "AppFrm", "ModelFrm", "OSFrm", "UsbFrm") with the
// headless host, as the program shows it when it opens, and saves it as a PNG file.
// Returns the process exit code.
int SaveWindowSnapshot(const std::string& section, const std::string& pngPath);
