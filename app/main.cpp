// SPDX-License-Identifier: GPL-3.0-or-later
// tarvento: finds a supported card, shows and sets its clocks.

#include <sys/auxv.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <iostream>
#include <stdexcept>
#include <string>

#include "app/boot_clocks_service.h"
#include "app/clock_trial.h"
#include "app/command_line.h"
#include "app/info_report.h"
#include "app/tuner_start.h"
#include "chip/running_program.h"
#include "chip/sysfs_hardware.h"
#include "chip/version.h"
#include "keeping/apply_guard.h"
#include "keeping/autostart_entry.h"
#include "keeping/boot_clocks.h"
#include "keeping/firmware_clocks.h"
#include "keeping/machine_paths.h"
#include "keeping/sleep_clocks.h"
#include "keeping/xdg_autostart_store.h"
#include "texts/chip_list_text.h"
#include "texts/user_texts.h"

using namespace tarvento;

namespace {

// The chips are named as the chip table has them; the two paragraphs that name them are
// wrapped as the rest of the help is laid out.
void PrintHelp(std::ostream& out) {
    constexpr size_t kWidth = 84;
    out << "Usage: tarvento [CHIP MEMCLOCK CHIPCLOCK]\n"
           "       tarvento --try CHIP MEMCLOCK CHIPCLOCK [SECONDS]\n"
           "       tarvento --dry-run CHIP MEMCLOCK CHIPCLOCK\n"
           "       tarvento --reset | --info | -h, --help | -V, --version\n"
           "\n"
        << Wrapped("Shows and sets the memory and chip clocks of a " + ChipsInWords(" or ") + ".", kWidth)
        << "\n"
        << Wrapped("With a chip name (" + ChipNamesList() +
                       ") and two clocks in MHz that match the card, the clocks are applied "
                       "without asking and the program ends; this is how the autostart entry "
                       "runs it at login. Without a display this works too. A name that is "
                       "not the card's is refused, and the card that was found is named.",
                   kWidth)
        << "\n"
           "Every clock written must lie within the chip's slider limits, or none is written.\n"
           "\n"
           "  --info         print the card's clocks and the autostart entry, change nothing\n"
           "  -h, --help     print this help\n"
           "  -V, --version  print the version\n"
           "An option it does not know is an error (exit status 2), and no window opens.\n"
           "\n"
           "Without the window, as a member of the group tarvento (nothing is stored):\n"
           "  --try CHIP MEMCLOCK CHIPCLOCK [SECONDS]\n"
           "             apply the clocks on trial: Enter within SECONDS (30; 5 to 600)\n"
           "             keeps them; no answer, Ctrl-C, SIGTERM or SIGHUP puts back the\n"
           "             card's own words\n"
           "  --dry-run CHIP MEMCLOCK CHIPCLOCK\n"
           "             make every check of an apply, print the words it would write\n"
           "  --reset    write back the words the card's firmware set at this boot, which the\n"
           "             boot service records in /var/lib/tarvento/firmware-clocks\n"
           "Exit status: 0 done (kept, written, would write); 1 refused or failed, with the\n"
           "reason on standard error; 2 the command line was not understood, or a window\n"
           "needs a graphical session; 3 a trial's clocks went back.\n"
           "\n"
           "Clocks for the whole machine, applied at every boot by a system service before\n"
           "anyone logs in (as root; checked against the card before they are stored):\n"
           "  --boot-clocks CHIP MEMCLOCK CHIPCLOCK   set them\n"
           "  --boot-clocks off                       turn them off\n"
           "What the services run: --apply-boot-clocks, --before-sleep, --after-resume;\n"
           "and --watch-survival, which the program starts itself after an unattended apply.\n"
           "Every unattended apply is guarded: one that did not survive is not repeated, and\n"
           "tarvento.noapply on the kernel command line stops them all for that boot. After\n"
           "one, a second tarvento process (or the boot service) stays about 90 s to see the\n"
           "machine keep running.\n"
           "\n"
           "TARVENTO_SYSFS_ROOT  PCI tree to use instead of /sys/bus/pci (a virtual card)\n"
           "XDG_CONFIG_HOME      the autostart entry is $XDG_CONFIG_HOME/autostart/Tarvo.desktop\n"
           "                     (default ~/.config/autostart/Tarvo.desktop), the user's own\n"
           "XDG_CONFIG_DIRS      machine-wide autostart folders (default /etc/xdg/autostart):\n"
           "                     their Tarvo.desktop counts when the user has none\n"
           "XDG_STATE_HOME       the login entry's last apply is kept in\n"
           "                     $XDG_STATE_HOME/tarvento/last-apply (default ~/.local/state)\n"
           "TARVENTO_MACHINE_ROOT  a folder that stands for / in /etc/tarvento, /var/lib/tarvento,\n"
           "                     /run/tarvento-sleep and /proc (tests)\n";
}

}  // namespace

int main(int argc, char** argv) {
    // Started setuid, setgid or with file capabilities, the program would hand its
    // privileges to whoever sets its environment (the PCI tree, Qt's plugin paths). It needs
    // none: the udev rule gives the card's registers to the group tarvento. So it stops
    // here, before it reads any file or loads anything.
    if (getauxval(AT_SECURE) != 0) {
        const std::string refusal =
            std::string(kFixedDiagnosticPrefix) + kSecureExecutionRefusal + "\n";
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
    case Command::WatchSurvival: {
        int64_t time = 0;
        try {
            time = std::stoll(line.optionArguments[2]);
        } catch (const std::exception&) {
            return 2;
        }
        return WatchSurvival(line.optionArguments[0], line.optionArguments[1], time,
                             GuardMachine{MachinePaths::FromEnvironment().procRoot})
                   ? 0
                   : 1;
    }
    default: break;
    }

    SysfsHardware hardware(SysfsHardware::SysfsRootFromEnvironment());
    ChipState chip(hardware);
    XdgAutostartStore store(XdgAutostartStore::UserFolderFromEnvironment(),
                            XdgAutostartStore::MachineFoldersFromEnvironment());

    const MachinePaths machine = MachinePaths::FromEnvironment();
    switch (line.command) {
    case Command::Info: return RunInfoReport(chip, store, machine, std::cout, std::cerr);
    case Command::BootClocks:
        return SetBootClocks(chip, line.optionArguments, machine, std::cout, std::cerr);
    case Command::ApplyBootClocks: return ApplyBootClocks(chip, machine, std::cout, std::cerr);
    case Command::Try: return TryClocks(chip, line.optionArguments, std::cout, std::cerr);
    case Command::Reset: return ResetToFirmwareClocks(chip, machine, std::cout, std::cerr);
    case Command::DryRun: return DryRun(chip, line.optionArguments, std::cout, std::cerr);
    case Command::BeforeSleep: return SaveClocksBeforeSleep(chip, machine, std::cout, std::cerr);
    case Command::AfterResume: return RestoreClocksAfterResume(chip, machine, std::cout, std::cerr);
    default: break;
    }

    return RunTuner(argc, argv, chip, store, line, machine);
}
