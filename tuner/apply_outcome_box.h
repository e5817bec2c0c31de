// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "chip/apply_clocks.h"
#include "texts/message_box.h"

namespace tarvento {

// What the user reads after Set Clock now or an unattended start applied a pair: one box
// at most. "Frequency out of range !" for a refused value (with the chip's limits as its
// informative text for a value outside them); "PCI/AGP access failed !" with
// the reason as its informative text when the chip could not be reached; nothing when the
// pair was applied or there was no chip to apply it to.
void ShowApplyOutcome(MessageBoxOwner& owner, const ApplyOutcome& outcome);

// What the user reads when Panic ! could not put the start-up coefficients back (also
// when none could be read at start, NoChip): "PCI/AGP access failed !", with the reason as
// its informative text when the chip layer gave one, as after Set Clock now; nothing when
// they were restored.
void ShowRestoreOutcome(MessageBoxOwner& owner, const ApplyOutcome& outcome);

}  // namespace tarvento
