// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <ostream>

#include "chip/chip_state.h"
#include "keeping/machine_paths.h"

namespace tarvento {

// The clocks the card's firmware set, kept so that the owner can always go back to them:
// Panic ! goes back only to what the window found, which the login entry or the boot
// clocks may already have raised. The boot service records the words at the card's first
// add or bind event of a boot, before it applies anything; --reset writes them back.
// The record (paths.firmwareClocks) names the card, its ids and the boot, and is readable
// by everyone (0644): PLL words are no secret, and --info shows them to anybody.

// The boot service's first step: records the recognised card's PLL words, unless the
// record already holds this card's words of this boot (a later bind must not take applied
// words for the firmware's). True when the record is there; otherwise it said why on `err`.
bool RecordFirmwareClocks(ChipState& chip, const MachinePaths& paths, std::ostream& out,
                          std::ostream& err);

// --reset: writes the recorded words back exactly, when they are this card's of this boot
// (and the PLL select word lets them take effect); otherwise writes nothing and says why.
// 0, or 1.
int ResetToFirmwareClocks(ChipState& chip, const MachinePaths& paths, std::ostream& out,
                          std::ostream& err);

// The line --info prints: "Firmware clocks: ..." (the recognised chip's clocks they make,
// when they are its card's), or that none are recorded.
void ReportFirmwareClocks(ChipState& chip, const MachinePaths& paths, std::ostream& out);

}  // namespace tarvento
