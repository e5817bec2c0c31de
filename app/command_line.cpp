// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/command_line.h"

#include <cstdlib>
#include <string_view>

namespace tarvento {

CommandLine ParseCommandLine(int argc, char** argv) {
    CommandLine line;
    if (argc > 1) {
        const std::string_view first = argv[1];
        const Command option = first == "--info"      ? Command::Info
                               : first == "--help"    ? Command::Help
                               : first == "--version" ? Command::Version
                                                      : Command::Tuner;
        if (option != Command::Tuner) {
            line.command = option;
            if (argc > 2) {
                line.command = Command::Usage;
                line.usageError = std::string(first) + " takes no further arguments";
            }
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
