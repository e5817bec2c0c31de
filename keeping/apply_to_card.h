// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <ostream>
#include <string>

#include "chip/apply_clocks.h"
#include "chip/chip_state.h"
#include "chip/clock_pair.h"
#include "chip/clock_restore.h"
#include "keeping/apply_guard.h"

namespace tarvento {

// The one way to the card for what is not the window: the boot service, a trial (--try),
// the firmware's clocks back (--reset) and a dry run. No command line is made up and no
// window pretended: the card is found and recognised as the window's start does it, and
// everything is said on the streams, each failure once, as the start without a display
// says it ("tarvento: " first, the reason on a line of its own).

// What is to be written.
struct CardWrite {
    // Clocks for a chip, checked as every apply is: the name against the card, the chip's
    // limits, the PLL select word, the set routines.
    std::string chip;
    ClockPair clocks;
    // Or words read from this very card before (its firmware's, a trial's saved ones):
    // written back exactly where they differ, with the select word asked; no limits.
    std::optional<PllWords> words;
    // An unattended apply's guard: asked first, and told right before the first write.
    ApplyGuard* guard = nullptr;
    // Every check, then the words it would write on `out`; nothing written.
    bool dryRun = false;
};

struct CardWriteResult {
    enum class Status {
        Written,   // everything was written (for a dry run: would be)
        Withheld,  // the guard's kernel command-line word: the owner's choice, not a failure
        Refused    // something stopped it; it was said why
    };
    Status status = Status::Refused;
    bool applied = false;  // ApplyClocks ran (it may have refused)
    // The card's words before anything was written; nothing when they could not be read.
    std::optional<PllWords> before;
    int written = 0;  // for words: how many registers were written
};

CardWriteResult WriteToCard(ChipState& chip, const CardWrite& write, std::ostream& out,
                            std::ostream& err);

// Finds the first display adapter and recognises its chip, unless a chip is recognised
// already; false after saying why ("PCI/AGP access failed !" and the reason).
bool FindCard(ChipState& chip, std::ostream& err);

// "wrong Chipset in ComandLine !", then which card was found.
void SayWrongChip(const ChipState& chip, std::ostream& err);
// What the user reads about an outcome, when there is something to read.
void SayOutcome(const ApplyOutcome& outcome, std::ostream& err);

}  // namespace tarvento
