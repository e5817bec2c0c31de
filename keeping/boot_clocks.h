// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "app/machine_paths.h"
#include "autostart/autostart_store.h"
#include "chip/chip_state.h"

namespace tarvento {

// The machine's boot clocks: a chip name and two clocks that root chose, kept in one file
// under /etc and applied at every boot by a system service, before anyone logs in.

// --boot-clocks CHIP MEMCLOCK CHIPCLOCK | off. The clocks are checked against the card as
// an unattended start checks them (its chip, and the set routines' limits) and stored only
// when they pass; setting them clears the boot service's guard record. 0, or 1 with the
// reason on `err`.
int SetBootClocks(ChipState& chip, const std::vector<std::string>& arguments,
                  const MachinePaths& paths, std::ostream& out, std::ostream& err);

// --apply-boot-clocks: what the boot service runs. Applies the stored clocks as an
// unattended start without a display would, guarded; then stays until the guard may say
// the apply survived. No boot clocks: nothing to do, 0.
int ApplyBootClocks(ChipState& chip, AutostartStore& store, const std::string& programPath,
                    const MachinePaths& paths, std::ostream& out, std::ostream& err);

// The lines --info prints about them: "Boot clocks: ..." and the boot service's last apply.
void ReportBootClocks(const MachinePaths& paths, std::ostream& out);

}  // namespace tarvento
