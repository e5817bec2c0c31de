// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <ostream>
#include <string>

#include "chip/chip_state.h"
#include "keeping/autostart_store.h"
#include "keeping/machine_paths.h"

namespace tarvento {

// --apply-boot-clocks: what the boot service runs. Applies the stored clocks as an
// unattended start without a display would, guarded; then stays until the guard may say
// the apply survived. No boot clocks: nothing to do, 0.
int ApplyBootClocks(ChipState& chip, AutostartStore& store, const std::string& programPath,
                    const MachinePaths& paths, std::ostream& out, std::ostream& err);

}  // namespace tarvento
