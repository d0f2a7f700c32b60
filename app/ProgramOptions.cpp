#include "app/ProgramOptions.h"

#include "platform/StickHelper.h"

#include <cstdio>

namespace {

constexpr size_t kOneOrMore = static_cast<size_t>(-1);

struct Option {
    const char* name;
    const char* operandNames; // as the usage shows them
    const char* description;
    ProgramOptions::Action action;
    size_t operandCount;
};

const Option kOptions[] = {
    { "--help", "", "list these options", ProgramOptions::Action::Help, 0 },
    { "--list-drives", "", "print the drive letters and what the drive list would show",
        ProgramOptions::Action::ListDrives, 0 },
    { "--snapshot", "SECTION FILE", "save one window (MainFrm, AppFrm, ModelFrm, OSFrm, UsbFrm) as PNG, at ARKEVEN_SCALE",
        ProgramOptions::Action::Snapshot, 2 },
    { "--make-stick", "TARGET... [--yes]", "write the recovery stick to each drive (E: F: ...) at once, without a window",
        ProgramOptions::Action::MakeStick, kOneOrMore },
    { platform::kStickHelperOption, "TARGET...", "the program's own helper that writes sticks for the window and --make-stick",
        ProgramOptions::Action::StickHelper, kOneOrMore },
};

bool IsOption(const std::string& word)
{
    return word.rfind("--", 0) == 0;
}

} // namespace

ProgramOptions ProgramOptions::Parse(const std::vector<std::string>& words)
{
    ProgramOptions options;
    if (words.empty() || !IsOption(words[0])) {
        options.ignored = words;
        return options;
    }
    options.action = Action::Mistake;
    options.operands.assign(words.begin() + 1, words.end());
    for (const Option& option : kOptions) {
        if (words[0] != option.name)
            continue;
        bool fits = option.operandCount == kOneOrMore ? !options.operands.empty() : options.operands.size() == option.operandCount;
        if (!fits) {
            options.mistake = words[0] + (option.operandCount ? " takes " + std::string(option.operandNames) : " takes no arguments");
            return options;
        }
        options.action = option.action;
        return options;
    }
    options.mistake = "unknown option " + words[0];
    return options;
}

std::string ProgramOptions::Usage()
{
    std::string usage;
    auto addLine = [&](const char* lead, const std::string& synopsis, const char* description) {
        char line[256];
        std::snprintf(line, sizeof line, "%s arkeven %-24s %s\n", lead, synopsis.c_str(), description);
        usage += line;
    };
    addLine("usage:", "", "start the launcher; other words are ignored");
    for (const Option& option : kOptions)
        addLine("      ", std::string(option.name) + (*option.operandNames ? " " : "") + option.operandNames, option.description);
    return usage;
}

std::string ProgramOptions::IgnoredNote() const
{
    if (ignored.empty())
        return {};
    std::string note = "arkeven: the launcher takes no arguments; ignored:";
    for (const std::string& word : ignored)
        note += " '" + word + "'";
    return note + "\n";
}
