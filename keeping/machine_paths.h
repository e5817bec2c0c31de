// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

namespace tarvento {

// Where the machine-wide keeping of clocks lives. TARVENTO_MACHINE_ROOT (default none)
// puts all of them under another folder, as TARVENTO_SYSFS_ROOT does for the bus: tests
// and the demo never touch the machine's own.
struct MachinePaths {
    std::string bootClocks;      // /etc/tarvento/boot-clocks: the boot clocks root chose
    std::string bootRecord;      // $STATE_DIRECTORY or /var/lib/tarvento, then /last-apply
    std::string firmwareClocks;  // the same folder, then /firmware-clocks
    std::string sleepWords;      // $RUNTIME_DIRECTORY or /run/tarvento-sleep, then /pll-words
    std::string procRoot;        // /proc

    static MachinePaths FromEnvironment();
};

}  // namespace tarvento
