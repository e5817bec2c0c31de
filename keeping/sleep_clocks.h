// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <ostream>

#include "chip/chip_state.h"
#include "keeping/machine_paths.h"

namespace tarvento {

// A card that no driver looks after comes back from sleep with whatever PLL words its
// firmware or reset leaves. The sleep service saves the words before the machine sleeps
// and puts exactly those back after it resumes: the clocks the card had, whoever set them.

// --before-sleep: saves the recognised card's slot, ids and PLL words. Nothing to save (no
// supported card) is not a failure. 0, or 1 when the words could not be saved.
int SaveClocksBeforeSleep(ChipState& chip, const MachinePaths& paths, std::ostream& out,
                          std::ostream& err);

// --after-resume: when the same card (slot and ids) answers with plausible words that differ
// from the saved ones, writes the saved words back; otherwise writes nothing and says why.
int RestoreClocksAfterResume(ChipState& chip, const MachinePaths& paths, std::ostream& out,
                             std::ostream& err);

}  // namespace tarvento
