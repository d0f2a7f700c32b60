#pragma once

#include <string>
#include <vector>

// arkeven --stick-helper TARGET...: the helper process that writes the sticks a window or
// --make-stick asked for, started by the program itself (platform/StickHelper.h). It checks every
// target again as it finds the system now, runs the jobs at once and reports them on its standard
// output, a line each (stick/JobReportLine.h); a closed standard input stops them. It opens no
// display, bus, skin or font. Exit status: 0 when every stick is ready, 1 when any failed, 2 when
// the words are no targets.
int RunStickHelperCommand(const std::vector<std::string>& arguments);
