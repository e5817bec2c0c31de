// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <vector>

namespace tarvento {

// Longest command-line tail the program takes: a line of 260 characters with its terminator.
inline constexpr std::size_t kStartArgumentsMax = 259;

// The program's own options, recognised only as the first argument; a first argument that
// begins with "-" and is none of them is a usage error.
enum class Command {
    Tuner, Info, Help, Version, Usage,
    BootClocks,       // --boot-clocks CHIP MEMCLOCK CHIPCLOCK | off   (root)
    ApplyBootClocks,  // --apply-boot-clocks   (the boot service)
    BeforeSleep,      // --before-sleep        (the sleep service, on its way down)
    AfterResume,      // --after-resume        (the sleep service, on its way up)
    WatchSurvival,    // --watch-survival RECORD BOOTID TIME   (started by the program itself)
    Try,              // --try CHIP MEMCLOCK CHIPCLOCK [SECONDS]
    Reset,            // --reset               (the firmware's clocks back)
    DryRun            // --dry-run CHIP MEMCLOCK CHIPCLOCK
};

struct CommandLine {
    Command command = Command::Tuner;
    // The command-line tail: every argument after the program's path joined by single
    // spaces. A tail longer than kStartArgumentsMax is refused and left empty, because a
    // cut tail could still scan as a chip name and two clocks nobody wrote.
    std::string startArguments;
    bool tailRefused = false;
    std::string usageError;  // for Command::Usage
    std::vector<std::string> optionArguments;  // what follows an option that takes some
};

CommandLine ParseCommandLine(int argc, char** argv);

// True when no window system can be reached: none of QT_QPA_PLATFORM, DISPLAY and
// WAYLAND_DISPLAY is set to something.
bool NoDisplay();

}  // namespace tarvento
