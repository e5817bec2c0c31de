// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "chip/chip_state.h"
#include "chip/clock_pair.h"
#include "keeping/machine_paths.h"
#include "keeping/start_arguments.h"

namespace tarvento {

// The machine's boot clocks: a chip name and two clocks that root chose, kept in one file
// under /etc and applied at every boot by a system service, before anyone logs in.
// What the service runs to apply them is the program's own (app/).

using BootClocks = NamedClocks;

// --boot-clocks CHIP MEMCLOCK CHIPCLOCK | off. The clocks are checked against the card as
// an unattended start checks them (its chip, the chip's limits, the set routines) and
// stored only when they pass; setting them clears the boot service's guard record. 0, or 1
// with the reason on `err`.
int SetBootClocks(ChipState& chip, const std::vector<std::string>& arguments,
                  const MachinePaths& paths, std::ostream& out, std::ostream& err);

// The stored boot clocks; nothing when the file cannot be read or holds no chip name and
// two clocks.
// `unread`, when given, says why a file that is there could not be read at all (empty
// when it was read, or is not there).
std::optional<BootClocks> ReadBootClocks(const std::string& path, std::string* unread = nullptr);

// The lines --info prints about them: "Boot clocks: ..." and the boot service's last apply.
void ReportBootClocks(const MachinePaths& paths, std::ostream& out);

}  // namespace tarvento
