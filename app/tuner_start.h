// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "app/command_line.h"
#include "chip/chip_state.h"
#include "keeping/autostart_store.h"
#include "keeping/machine_paths.h"

namespace tarvento {

// The start the program is for: the main window, or without a display (or where no window
// can open) the start sequence alone. An unattended start is guarded: its apply is recorded
// first and watched afterwards, and a refusal goes to the journal when no window showed it.
int RunTuner(int argc, char** argv, ChipState& chip, AutostartStore& store,
             const CommandLine& line, const MachinePaths& machine);

}  // namespace tarvento
