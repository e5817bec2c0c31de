// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

#include "chip/chip_state.h"
#include "chip/chip_recognition.h"

namespace tarvento {

// Where the machine-wide keeping of clocks lives. TARVENTO_MACHINE_ROOT (default none)
// puts all of them under another folder, as TARVENTO_SYSFS_ROOT does for the bus: tests
// and the demo never touch the machine's own.
struct MachinePaths {
    std::string bootClocks;  // /etc/tarvento/boot-clocks: the boot clocks root chose
    std::string bootRecord;  // $STATE_DIRECTORY or /var/lib/tarvento, then /last-apply
    std::string sleepWords;  // $RUNTIME_DIRECTORY or /run/tarvento-sleep, then /pll-words
    std::string procRoot;    // /proc

    static MachinePaths FromEnvironment();
};

// Finds the first display adapter and recognises its chip, as the window's start does.
// False with the reason when no supported chip could be read.
bool RecognizeCard(ChipState& chip, RecognizedChip& recognized, std::string& reason);

// Says `text` in the journal too, unless standard error already goes there (a service's
// does): what runs without a window and without a terminal must leave a trace.
void TellJournal(const std::string& text);

}  // namespace tarvento
