// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "app/command_line.h"

namespace tarvento {
namespace {

CommandLine Parse(std::vector<std::string> args) {
    args.insert(args.begin(), "/usr/bin/tarvento");
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    return ParseCommandLine(static_cast<int>(argv.size()), argv.data());
}

TEST(CommandLine, OptionsCountOnlyAsTheFirstArgument) {
    EXPECT_EQ(Parse({"--info"}).command, Command::Info);
    EXPECT_EQ(Parse({"--help"}).command, Command::Help);
    EXPECT_EQ(Parse({"--version"}).command, Command::Version);
    EXPECT_EQ(Parse({"--info", "x"}).command, Command::Usage);

    const CommandLine later = Parse({"RIVA_TNT", "--info"});
    EXPECT_EQ(later.command, Command::Tuner);
    EXPECT_EQ(later.startArguments, "RIVA_TNT --info");
}

TEST(CommandLine, TailIsTheArgumentsJoinedBySingleSpaces) {
    EXPECT_EQ(Parse({}).startArguments, "");
    EXPECT_EQ(Parse({"RIVA_TNT", "110", "100"}).startArguments, "RIVA_TNT 110 100");
    // An argument with spaces inside stays as it was given.
    EXPECT_EQ(Parse({"My Card", "1"}).startArguments, "My Card 1");
}

TEST(CommandLine, TailOfMoreThan259CharactersIsRefusedWhole) {
    const std::string fits(259 - 13, 'x');
    const CommandLine ok = Parse({"RIVA_TNT", "110", fits});  // 8 + 1 + 3 + 1 + 246 = 259
    EXPECT_FALSE(ok.tailRefused);
    EXPECT_EQ(ok.startArguments.size(), 259u);

    const CommandLine refused = Parse({"RIVA_TNT", "110", "100", std::string(250, ' ')});
    EXPECT_TRUE(refused.tailRefused);
    EXPECT_EQ(refused.startArguments, "");
}

TEST(CommandLine, TheAttendedWaysToTheCardTakeTheirArguments) {
    struct Case {
        std::vector<std::string> args;
        Command command;
    };
    const Case cases[] = {
        {{"--try", "RIVA_TNT", "120", "100"}, Command::Try},
        {{"--try", "RIVA_TNT", "120", "100", "60"}, Command::Try},
        {{"--try", "RIVA_TNT", "120"}, Command::Usage},
        {{"--reset"}, Command::Reset},
        {{"--reset", "RIVA_TNT"}, Command::Usage},
        {{"--dry-run", "RIVA_TNT", "120", "100"}, Command::DryRun},
        {{"--dry-run", "RIVA_TNT", "120", "100", "30"}, Command::Usage},
    };
    for (const Case& c : cases) {
        const CommandLine line = Parse(c.args);
        EXPECT_EQ(line.command, c.command) << c.args[0] << " with " << c.args.size() - 1;
        if (c.command != Command::Usage) {
            EXPECT_EQ(line.optionArguments, std::vector<std::string>(c.args.begin() + 1, c.args.end()));
        }
    }
}

TEST(CommandLine, NoDisplayOnlyWhenNoneOfTheThreeIsSet) {
    const char* names[] = {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"};
    std::vector<std::pair<std::string, std::string>> saved;
    for (const char* n : names) {
        if (const char* v = std::getenv(n)) saved.emplace_back(n, v);
        unsetenv(n);
    }
    EXPECT_TRUE(NoDisplay());
    for (const char* n : names) {
        setenv(n, "", 1);
        EXPECT_TRUE(NoDisplay()) << n << " set but empty";
        setenv(n, ":1", 1);
        EXPECT_FALSE(NoDisplay()) << n;
        unsetenv(n);
    }
    for (auto& [n, v] : saved) setenv(n.c_str(), v.c_str(), 1);
}

}  // namespace
}  // namespace tarvento
