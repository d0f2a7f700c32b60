// The words after the program's name: what starts the launcher, what runs an option, and what
// ends with the usage (status 2) instead of opening a window a script would wait on.

#include "app/ProgramOptions.h"

#include <gtest/gtest.h>

namespace {

using Action = ProgramOptions::Action;

TEST(ProgramOptions, ChoosesTheActionAndKeepsItsOperands)
{
    EXPECT_EQ(ProgramOptions::Parse({}).action, Action::Launch);
    EXPECT_EQ(ProgramOptions::Parse({ "--help" }).action, Action::Help);
    EXPECT_EQ(ProgramOptions::Parse({ "--list-drives" }).action, Action::ListDrives);

    auto snapshot = ProgramOptions::Parse({ "--snapshot", "UsbFrm", "usb.png" });
    EXPECT_EQ(snapshot.action, Action::Snapshot);
    EXPECT_EQ(snapshot.operands, (std::vector<std::string> { "UsbFrm", "usb.png" }));

    auto sticks = ProgramOptions::Parse({ "--make-stick", "E:", "F:", "--yes" });
    EXPECT_EQ(sticks.action, Action::MakeStick);
    EXPECT_EQ(sticks.operands, (std::vector<std::string> { "E:", "F:", "--yes" }));
}

TEST(ProgramOptions, WordsThatAreNotOptionsStartTheLauncherAndAreNamed)
{
    auto options = ProgramOptions::Parse({ "D:\\dropped.txt", "--help" });
    EXPECT_EQ(options.action, Action::Launch);
    EXPECT_NE(options.IgnoredNote().find("'D:\\dropped.txt' '--help'"), std::string::npos) << options.IgnoredNote();
    EXPECT_EQ(ProgramOptions::Parse({}).IgnoredNote(), "");
}

TEST(ProgramOptions, AMistakeSaysWhatWasWrong)
{
    struct Case {
        std::vector<std::string> words;
        const char* mistake;
    };
    const Case cases[] = {
        { { "--make-stik", "E:" }, "unknown option --make-stik" },
        { { "--make-stick" }, "--make-stick takes TARGET... [--yes]" },
        { { "--snapshot", "UsbFrm" }, "--snapshot takes SECTION FILE" },
        { { "--help", "me" }, "--help takes no arguments" },
        { { "--" }, "unknown option --" },
    };
    for (const Case& c : cases) {
        auto options = ProgramOptions::Parse(c.words);
        EXPECT_EQ(options.action, Action::Mistake) << c.mistake;
        EXPECT_EQ(options.mistake, c.mistake);
    }
    EXPECT_NE(ProgramOptions::Usage().find("--make-stick TARGET... [--yes]"), std::string::npos);
}

} // namespace
