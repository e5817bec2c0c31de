// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <ostream>

#include "chip/chip_state.h"
#include "keeping/machine_paths.h"

namespace tarvento {

// --apply-boot-clocks: what the boot service runs at a card's add or bind event. First it
// records the card's firmware clocks (once a boot), with or without boot clocks and on any
// boot; then it applies the stored clocks, guarded, and stays until the guard may say the
// apply survived. No boot clocks: nothing more to do. 0, or 1 when the record could not be
// made or the apply failed or was refused (also by the guard; not by tarvento.noapply,
// the owner's own choice).
int ApplyBootClocks(ChipState& chip, const MachinePaths& paths, std::ostream& out, std::ostream& err);

}  // namespace tarvento
