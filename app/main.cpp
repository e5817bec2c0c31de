// tarvento: finds a RIVA 128, RIVA 128ZX or RIVA TNT, shows and sets its clocks.

#include <unistd.h>

#include <climits>
#include <iostream>
#include <string>

#include "app/command_line.h"
#include "app/headless_start.h"
#include "app/info_report.h"
#include "app/ui_loader.h"
#include "app/version.h"
#include "autostart/autostart_entry.h"
#include "autostart/xdg_autostart_store.h"
#include "chip/message_box.h"
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
           "XDG_CONFIG_DIRS      the first folder's autostart/ holds the autostart entry\n";
}

std::string CurrentDirectory() {
    char buffer[PATH_MAX];
    return getcwd(buffer, sizeof buffer) != nullptr ? std::string(buffer) : std::string();
}

}  // namespace

int main(int argc, char** argv) {
    const CommandLine line = ParseCommandLine(argc, argv);
    switch (line.command) {
    case Command::Help: PrintHelp(std::cout); return 0;
    case Command::Version: std::cout << "Tarvento " << kVersion << "\n"; return 0;
    case Command::Usage:
        std::cerr << ApplicationName() << ": " << line.usageError << "\n";
        return 2;
    case Command::Info:
    case Command::Tuner: break;
    }

    SysfsHardware hardware(SysfsHardware::SysfsRootFromEnvironment());
    ChipState chip(hardware);
    XdgAutostartStore store(XdgAutostartStore::AutostartFolderFromEnvironment());

    if (line.command == Command::Info) return RunInfoReport(chip, store, std::cout, std::cerr);

    if (line.tailRefused) {
        std::cerr << ApplicationName() << ": the start-up arguments are longer than "
                  << kStartArgumentsMax << " characters and were ignored\n";
    }
    const std::string programPath = ProgramPath();
    const std::string currentDirectory = CurrentDirectory();
    if (NoDisplay()) {
        return RunHeadless({chip, store, line.StartArguments, programPath, currentDirectory},
                           std::cout, std::cerr);
    }
    const UiRun run{argc,  argv, &chip, &store, line.StartArguments.c_str(),
                    programPath.c_str(), currentDirectory.c_str()};
    return RunWindow(run, std::cerr);
}
