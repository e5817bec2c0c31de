// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "chip/access_failure.h"
#include "chip/chip_state.h"
#include "chip/clock_pair.h"

namespace tarvento {

struct PllWords;

// A value of a pair that lies outside the recognised chip's slider limits.
struct LimitBreach {
    enum class Clock { Memory, Chip };
    Clock clock = Clock::Memory;
    int32_t mhz = 0;
    int32_t min = 0;  // the chip's inclusive limits for that clock, MHz
    int32_t max = 0;
    friend bool operator==(const LimitBreach&, const LimitBreach&) = default;
};

// What became of a pair handed to ApplyClocks, or of a Panic restore. The layer that owns
// a window decides what the user reads about it.
struct ApplyOutcome {
    enum class Result {
        Applied,        // every value the chip takes was written
        Refused,        // a value was out of the PLL's reach; the others were still written
        OutsideLimits,  // a value lay outside the chip's limits: nothing was written
        AccessFailed,   // a register could not be reached, or the card answered all ones
        NoChip          // no chip is recognised: nothing was tried
    };
    Result result = Result::NoChip;
    AccessFailure reason;  // for AccessFailed: why
    // For OutsideLimits: the chip's name and every value outside its limits, in the order
    // ApplyClocks sets them.
    const char* chip = nullptr;
    std::vector<LimitBreach> breaches = {};

    bool Applied() const { return result == Result::Applied; }
};

// Writes the pair to the recognised chip (the registers of state.recognizedAdapter)
// through its set routines, in profile order. Before anything is touched, every value the
// chip would be given must lie within its slider limits (a chip whose one clock drives
// both is given the memory value alone): otherwise nothing is read or written
// (OutsideLimits), since a start-up argument, a hand-edited entry or the boot clocks can
// carry a value that hangs the machine. Then the PLL select word is read: when a PLL the
// pair would set runs from the chip's built-in clock, nothing at all is written
// (AccessFailed, PllNotProgrammed). Every set routine runs even after another refused its
// value; after a card answered all ones no further routine runs. An access failure
// outweighs a refused value: one outcome per call. With no recognised chip nothing is
// written and the outcome is NoChip. `beforeFirstWrite`, when given, is called once, right
// before the first register write: a guard records there that the apply is pending, so
// that an apply that writes nothing (outside the limits, refused by the select word, or
// every set routine refusing) leaves no record.
ApplyOutcome ApplyClocks(ChipState& state, ClockPair clocks,
                         const std::function<void()>& beforeFirstWrite = {});

// What ApplyClocks would make of the pair's values on the recognised chip as it is now,
// without writing anything: OutsideLimits as ApplyClocks says it, Applied when every set
// routine would take its value, Refused when one would refuse it, AccessFailed when a
// register cannot be read, NoChip without a chip. The select word is not asked: it says
// how the chip runs when the apply comes (a driver sets it at a mode set), not whether the
// clocks fit. Boot clocks are checked so before they are stored. `wouldWrite`, when given,
// gets the word each set routine that takes its value would write, in apply order.
ApplyOutcome CheckClocks(ChipState& state, ClockPair clocks, PllWords* wouldWrite = nullptr);

// Every check ApplyClocks makes, the select word too, and the words it would write
// (`wouldWrite`), without writing anything: the outcome ApplyClocks would have.
ApplyOutcome DryRunClocks(ChipState& state, ClockPair clocks, PllWords& wouldWrite);

}  // namespace tarvento
