// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <functional>
#include <optional>

#include "chip/hardware_access.h"
#include "chip/registers.h"

namespace tarvento {

// The word a card answers from every register when it is not initialised or its memory
// decoding is off: no clock can be read from it, and nothing is written after it.
inline constexpr uint32_t kNoAnswerWord = 0xFFFFFFFF;

// A register's physical address; nothing when it would wrap past 4 GiB, so that a
// nonsensical base never sends an access to some unrelated low address.
std::optional<uint32_t> RegisterAddress(uint32_t base, uint32_t offset);

// One clock of a chip: the PLL register it lives in and the formulas that read and set it.
struct ChipClock {
    uint32_t pllOffset;  // from the register base
    // The clock in MHz that a PLL word makes, as the window shows it, for a strap word.
    int32_t (*clockOf)(uint32_t pll, uint32_t strap);
    // The word a set of `mhz` writes into a PLL that holds `pll`; nothing when the target
    // is refused. Only the fields in `changes` may differ from `pll`.
    std::optional<uint32_t> (*wordFor)(int32_t mhz, uint32_t pll, uint32_t strap);
    uint32_t changes;    // the fields a set may change; every other bit is written as read
    uint32_t stockPll;   // a word the PLL holds on a stock card; virtual cards start from it
    uint32_t pMask = kPllPMask;  // the P field as this clock decodes it (reports show it so)
};

enum class SetResult {
    Written,       // the clock's fields written, every other bit as read
    OutOfRange,    // target refused, nothing written
    AccessFailed,  // a register could not be read or written
    NoAnswer       // a PLL or strap word read FFFFFFFFh: nothing written
};

// --- The routines over the chip's registers ---
// Each reads the PLL register three times and the strap once, in this order: M from the
// first read, P from the second, the strap, then N (a read) or the word the new fields
// are merged into (a set) from the third; nothing is cached. A read gives nothing when a
// register could not be read, or when a PLL or strap word reads FFFFFFFFh (`noAnswer`,
// when given, is set to tell this case). A set that refuses its target makes only the
// first three reads. `beforeWrite`, when given, is called right before a set's one write
// (after its reads), and only when it writes.
std::optional<int32_t> ReadChipClock(HardwareAccess& hw, uint32_t registerBase,
                                     const ChipClock& clock, bool* noAnswer = nullptr);
SetResult SetChipClock(HardwareAccess& hw, uint32_t registerBase, const ChipClock& clock,
                       int32_t mhz, const std::function<void()>& beforeWrite = {});

}  // namespace tarvento
