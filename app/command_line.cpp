// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/command_line.h"

#include <cstdlib>
#include <string_view>

#include "texts/user_texts.h"

namespace tarvento {

CommandLine ParseCommandLine(int argc, char** argv) {
    CommandLine line;
    if (argc > 1) {
        struct Option {
            std::string_view name;
            Command command;
            int arguments[2];  // the counts it takes
            const char* usage;
        };
        static constexpr Option kOptions[] = {
            {"--info", Command::Info, {0, 0}, "takes no further arguments"},
            {"--help", Command::Help, {0, 0}, "takes no further arguments"},
            {"--version", Command::Version, {0, 0}, "takes no further arguments"},
            {"-h", Command::Help, {0, 0}, "takes no further arguments"},
            {"-V", Command::Version, {0, 0}, "takes no further arguments"},
            {"--boot-clocks", Command::BootClocks, {3, 1},
             "takes a chip name and two clocks (RIVA_TNT 120 100), or off"},
            {"--apply-boot-clocks", Command::ApplyBootClocks, {0, 0}, "takes no further arguments"},
            {"--before-sleep", Command::BeforeSleep, {0, 0}, "takes no further arguments"},
            {"--after-resume", Command::AfterResume, {0, 0}, "takes no further arguments"},
            {"--watch-survival", Command::WatchSurvival, {3, 3}, "takes a record, a boot id and a time"},
            {"--try", Command::Try, {3, 4}, "takes a chip name and two clocks (RIVA_TNT 120 100), then seconds"},
            {"--reset", Command::Reset, {0, 0}, "takes no further arguments"},
            {"--dry-run", Command::DryRun, {3, 3}, "takes a chip name and two clocks (RIVA_TNT 120 100)"},
        };
        const std::string_view first = argv[1];
        for (const Option& option : kOptions) {
            if (first != option.name) continue;
            const int count = argc - 2;
            line.command = option.command;
            if (count != option.arguments[0] && count != option.arguments[1]) {
                line.command = Command::Usage;
                line.usageError = std::string(first) + " " + option.usage;
                return line;
            }
            for (int i = 2; i < argc; ++i) line.optionArguments.emplace_back(argv[i]);
            if (option.command == Command::BootClocks && count == 1 &&
                line.optionArguments[0] != "off") {
                line.command = Command::Usage;
                line.usageError = std::string(first) + " " + option.usage;
            }
            return line;
        }
        // Chip names never begin with "-", so no start-up tail is lost to this.
        if (first.starts_with('-')) {
            line.command = Command::Usage;
            line.usageError = UnknownOptionText(std::string(first));
            return line;
        }
    }
    std::string tail;
    for (int i = 1; i < argc; ++i) {
        if (i > 1) tail += ' ';
        tail += argv[i];
        if (tail.size() > kStartArgumentsMax) {
            line.tailRefused = true;
            return line;
        }
    }
    line.startArguments = std::move(tail);
    return line;
}

bool NoDisplay() {
    for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"}) {
        const char* value = std::getenv(name);
        if (value != nullptr && *value != '\0') return false;
    }
    return true;
}

}  // namespace tarvento
