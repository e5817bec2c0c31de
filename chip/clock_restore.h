// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "chip/apply_clocks.h"
#include "chip/chip_architecture.h"
#include "chip/chip_clock.h"
#include "chip/clock_pair.h"
#include "chip/hardware_access.h"

namespace tarvento {

struct ChipProfile;

// One read of the register at `offset` from the register base; nothing when it cannot be
// reached or the card answers all ones (`noAnswer`, when given, is set for the latter).
std::optional<uint32_t> ReadAnsweredRegister(HardwareAccess& hw, uint32_t registerBase,
                                             uint32_t offset, bool* noAnswer = nullptr);

// Why a register could not be reached, as the machine tells it.
AccessFailure RegisterFailureReason(const HardwareAccess& hw, bool noAnswer);

// Asked before the first write of an apply, with the select bits of every PLL it would
// write (PllSelectBit): one read of the PLL select word. Nothing when each of those PLLs
// runs from its programmed word; otherwise why the apply must write nothing at all: a PLL
// that runs from the chip's built-in clock would not change, and writing the other alone
// would leave a pair nobody chose (PllNotProgrammed, with the chip's `architecture`, which
// says what sets the bits). A select word that cannot be read refuses too; one that reads
// all ones while those PLLs answer is PllSelectNoAnswer, not a card that stopped answering.
std::optional<AccessFailure> PllSelectRefusal(HardwareAccess& hw, uint32_t registerBase,
                                              uint32_t neededBits, ChipArchitecture architecture);

// The fields a set may change (N; M and N on a chip whose sets choose M too) of every PLL
// register that ApplyClocks writes on a chip, as the card held them when the program
// started. Panic ! puts these back: converting the start-up clocks in MHz through the set
// formulas would not do, since read and set are not inverses (a RIVA 128 memory PLL with
// N = 168, read as 100 MHz, comes back as N = 167).
struct StartCoefficients {
    struct Pll {
        uint32_t offset;  // from the register base
        uint32_t fields;  // the word's fields in `mask`, in their places
        uint32_t mask;    // the fields a set of this PLL may change
    };
    // In the order ApplyClocks writes them: the memory PLL, then (TNT) the core PLL.
    std::array<Pll, 2> plls{};
    int count = 0;
};

// Reads each PLL register ApplyClocks writes for the chip, one read each.
// Nothing when a register cannot be read or the card does not answer.
std::optional<StartCoefficients> ReadStartCoefficients(HardwareAccess& hw, uint32_t registerBase,
                                                       const ChipProfile& chip);

// Puts each saved field back: reads the register, replaces the saved fields, writes it
// back, so every other bit stays as the card holds it now. Every register is tried even after
// another failed. Applied when every register was written, otherwise AccessFailed with
// the first reason; nothing is written into a register whose read failed, and nothing at
// all when a PLL runs from the chip's built-in clock (PllSelectRefusal, for a chip of
// `architecture`). The saved coefficients came from the card, so nothing is ever Refused.
ApplyOutcome RestoreStartCoefficients(HardwareAccess& hw, uint32_t registerBase,
                                      const StartCoefficients& start, ChipArchitecture architecture);

// The whole coefficient word of every PLL register ApplyClocks writes on a chip, as the
// card holds it: kept across sleep, where the card may come back with the firmware's
// words. Words, not MHz: putting them back makes exactly the clocks the card had.
struct PllWords {
    struct Pll {
        uint32_t offset;  // from the register base
        uint32_t word;
        friend bool operator==(const Pll&, const Pll&) = default;
    };
    // In the order ApplyClocks writes them: the memory PLL, then (TNT) the core PLL.
    std::array<Pll, 2> plls{};
    int count = 0;
    friend bool operator==(const PllWords&, const PllWords&) = default;
};

// Reads each PLL word ApplyClocks writes for the chip, one read each. Nothing when a
// register cannot be read or the card answers all ones.
std::optional<PllWords> ReadPllWords(HardwareAccess& hw, uint32_t registerBase,
                                     const ChipProfile& chip);

// The clocks, in MHz as the window shows them, that the words make on the chip, with the
// strap read once: memory, then chip (a chip whose one clock drives both has it twice).
// Nothing when the strap cannot be read or a word is missing.
std::optional<ClockPair> ClocksOfPllWords(HardwareAccess& hw, uint32_t registerBase,
                                          const ChipProfile& chip, const PllWords& words);

// True when a set routine could have left this word in a PLL: a non-zero M (a set routine
// refuses M = 0) and no bit outside the M, N and P fields. All ones is not one.
bool PlausiblePllWord(uint32_t word);

// Writes each word whose register holds another one now, exactly as given; a register that
// already holds its word is not written, and nothing at all is written when a PLL that
// would be runs from the chip's built-in clock (PllSelectRefusal). Applied when nothing
// failed, otherwise AccessFailed with the first reason. `written` (when given) counts the
// writes.
ApplyOutcome WritePllWords(HardwareAccess& hw, uint32_t registerBase, const PllWords& words,
                           ChipArchitecture architecture, int* written = nullptr);

}  // namespace tarvento
