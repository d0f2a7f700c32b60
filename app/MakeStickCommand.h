#pragma once

#include <string>
#include <vector>

// arkeven --make-stick TARGET... [--yes]: the recovery stick written to every target at once,
// without a window, from the CD the program runs from; each target gets the writer's own job.
// `arguments` follow "--make-stick". Exit status: 0 when every target is ready, 1 when any
// failed, 2 when the command line or a target is refused (nothing is written then).
int RunMakeStickCommand(const std::vector<std::string>& arguments);
