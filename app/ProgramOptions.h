#pragma once

#include <string>
#include <vector>

// What the words after the program's name ask for. The launcher itself takes no arguments, and
// Windows hands it a shortcut's arguments and the files dropped on the executable, so any word
// that is not an option is ignored and the launcher starts all the same.
//
// Options come first, and a first word starting with "--" is always taken for one: an unknown
// option is a typo, or an option of a newer build, and ends the program with the usage (status
// 2) rather than opening a window that a script would wait on. New options go into the table in
// ProgramOptions.cpp, which also writes the usage.
struct ProgramOptions {
    enum class Action {
        Launch,
        Help,
        Mistake, // the usage, status 2
        ListDrives,
        Snapshot, // operands: SECTION FILE
        MakeStick, // operands: TARGET... [--yes], checked by the command
        StickHelper, // operands: the targets the program hands its helper
    };

    Action action = Action::Launch;
    std::vector<std::string> operands; // the option's own words
    std::vector<std::string> ignored;  // Launch: words it does not use
    std::string mistake;               // Mistake: what was wrong, one line

    static ProgramOptions Parse(const std::vector<std::string>& words);
    // The options, one a line.
    static std::string Usage();
    // One line for standard error naming the ignored words; empty when there are none.
    std::string IgnoredNote() const;
};
