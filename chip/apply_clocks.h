// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>
#include <string>

#include "chip/access_failure.h"
#include "chip/chip_state.h"
#include "chip/clock_pair.h"

namespace tarvento {

// What became of a pair handed to ApplyClocks, or of a Panic restore. The layer that owns
// a window decides what the user reads about it.
struct ApplyOutcome {
    enum class Result {
        Applied,       // every value the chip takes was written
        Refused,       // a value was out of the PLL's reach; the others were still written
        AccessFailed,  // a register could not be reached, or the card answered all ones
        NoChip         // no chip is recognised: nothing was tried
    };
    Result result = Result::NoChip;
    AccessFailure reason;  // for AccessFailed: why

    bool Applied() const { return result == Result::Applied; }
};

// Writes the pair to the recognised chip (the registers of state.recognizedAdapter)
// through its set routines, in profile order. First the PLL select word is read: when a
// PLL the pair would set runs from the chip's built-in clock, nothing at all is written
// (AccessFailed, PllNotProgrammed). Every set routine runs even after another refused its
// value; after a card answered all ones no further routine runs. An access failure
// outweighs a refused value: one outcome per call. With no recognised chip nothing is
// written and the outcome is NoChip. `beforeFirstWrite`, when given, is called once the
// select word allows the apply and before any set routine runs: a guard records there
// that the apply is pending, so that an apply refused before it leaves no record.
ApplyOutcome ApplyClocks(ChipState& state, ClockPair clocks,
                         const std::function<void()>& beforeFirstWrite = {});

// What ApplyClocks would make of the pair's values on the recognised chip as it is now,
// without writing anything: Applied when every set routine would take its value, Refused
// when one would refuse it, AccessFailed when a register cannot be read, NoChip without a
// chip. The select word is not asked: it says how the chip runs when the apply comes (a
// driver sets it at a mode set), not whether the clocks fit. Boot clocks are checked so
// before they are stored.
ApplyOutcome CheckClocks(ChipState& state, ClockPair clocks);

}  // namespace tarvento
