// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <ostream>

#include "chip/chip_state.h"
#include "keeping/autostart_store.h"
#include "keeping/machine_paths.h"

namespace tarvento {

// `tarvento --info`: a read-only report of the card and the stored autostart entry.
// Writes no register and nothing to the store. Returns the exit status: 0 when a
// supported chip was read, 1 otherwise (with the reason on `err`).
int RunInfoReport(ChipState& chip, AutostartStore& store, const MachinePaths& machine,
                  std::ostream& out, std::ostream& err);

}  // namespace tarvento
