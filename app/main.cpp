// SPDX-License-Identifier: GPL-3.0-or-later
// tarvento: finds a RIVA 128, RIVA 128ZX or RIVA TNT, shows and sets its clocks.

#include <sys/auxv.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <iostream>
#include <string>

#include "app/command_line.h"
#include "app/headless_start.h"
#include "app/info_report.h"
#include "app/ui_loader.h"
#include "app/version.h"
#include "autostart/autostart_entry.h"
#include "autostart/xdg_autostart_store.h"
#include "chip/running_program.h"
#include "chip/sysfs_hardware.h"

using namespace tarvento;

namespace {

void PrintHelp(std::ostream& out) {
    out << "Usage: tarvento [CHIP MEMCLOCK CHIPCLOCK]\n"
           "       tarvento --info | --help | --version\n"
           "\n"
           "Shows and sets the memory and chip clocks of a RIVA 128, RIVA 128ZX or RIVA TNT.\n"
           "\n"
           "With a chip name (RIVA_128, RIVA_128ZX, RIVA_TNT) and two clocks in MHz that match\n"
           "the card, the clocks are applied without asking and the program ends; this is how\n"
           "the autostart entry runs it at login. Without a display this works too.\n"
           "\n"
           "  --info     print the card's clocks and the autostart entry, change nothing\n"
           "  --help     print this help\n"
           "  --version  print the version\n"
           "\n"
           "TARVENTO_SYSFS_ROOT  PCI tree to use instead of /sys/bus/pci (a virtual card)\n"
           "XDG_CONFIG_HOME      the autostart entry is $XDG_CONFIG_HOME/autostart/Tarvo.desktop\n"
           "                     (default ~/.config/autostart/Tarvo.desktop), the user's own\n"
           "XDG_CONFIG_DIRS      machine-wide autostart folders (default /etc/xdg/autostart):\n"
           "                     their Tarvo.desktop counts when the user has none\n";
}

}  // namespace

int main(int argc, char** argv) {
    // Started setuid, setgid or with file capabilities, the program would hand its
    // privileges to whoever sets its environment (the PCI tree, Qt's plugin paths). It needs
    // none: the udev rule gives the card's registers to the group tarvento. So it stops
    // here, before it reads any file or loads anything.
    if (getauxval(AT_SECURE) != 0) {
        const std::string refusal =
            std::string(kFixedDiagnosticPrefix) +
            "refusing to run setuid, setgid or with file capabilities; "
            "to reach the card, join the group tarvento instead (sudo usermod -aG tarvento "
            "$USER, then log in again)\n";
        std::fputs(refusal.c_str(), stderr);
        return 1;
    }
    const CommandLine line = ParseCommandLine(argc, argv);
    switch (line.command) {
    case Command::Help: PrintHelp(std::cout); return 0;
    case Command::Version: std::cout << "Tarvento " << kVersion << "\n"; return 0;
    case Command::Usage:
        std::cerr << DiagnosticPrefix() << line.usageError << "\n";
        return 2;
    case Command::Info:
    case Command::Tuner: break;
    }

    SysfsHardware hardware(SysfsHardware::SysfsRootFromEnvironment());
    ChipState chip(hardware);
    XdgAutostartStore store(XdgAutostartStore::UserFolderFromEnvironment(),
                            XdgAutostartStore::MachineFoldersFromEnvironment());

    if (line.command == Command::Info) return RunInfoReport(chip, store, std::cout, std::cerr);

    if (line.tailRefused) {
        std::cerr << DiagnosticPrefix() << "the start-up arguments are longer than "
                  << kStartArgumentsMax << " characters and were ignored\n";
    }
    const std::string programPath = ProgramPath();
    if (NoDisplay()) {
        return RunHeadless({chip, store, line.startArguments, programPath},
                           std::cout, std::cerr);
    }
    const UiRun run{argc,  argv, &chip, &store, line.startArguments.c_str(),
                    programPath.c_str()};
    const WindowRun window = RunWindow(run);
    if (window.shown) return window.status;
    return RunWithoutWindow({chip, store, line.startArguments, programPath}, window.whyNot,
                            std::cout, std::cerr);
}
