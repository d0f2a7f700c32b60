#pragma once

#include "stick/StickJob.h"

#include <string>

// The final text of a job that has ended, as the writer's static 10005 shows it: what happened
// and what to do. The command line's summary says the same.
std::wstring FinalTextOf(const StickJob& job);
