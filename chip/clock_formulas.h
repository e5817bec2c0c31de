// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <optional>

#include "chip/hardware_access.h"

namespace tarvento {

// Conversion toward zero to 64 bits, defined for every double: NaN, the infinities and
// values beyond the 64-bit range give INT64_MIN (whose low 32 bits are 0).
int64_t TruncToInt64(double x);

// --- Pure conversions between PLL coefficient words and whole MHz ---
// `pll` is the coefficient word, `strap` the strap word. The set conversions give the
// new N, or nothing when the target is refused (N outside 0..255, or M = 0).

int32_t TntChipClockFromPll(uint32_t pll, uint32_t strap);
int32_t TntMemClockFromPll(uint32_t pll, uint32_t strap);
int32_t Riva128ClockFromPll(uint32_t pll, uint32_t strap);

std::optional<uint32_t> TntChipN(int32_t mhz, uint32_t pll, uint32_t strap);
std::optional<uint32_t> TntMemN(int32_t mhz, uint32_t pll, uint32_t strap);
std::optional<uint32_t> Riva128N(int32_t mhz, uint32_t pll, uint32_t strap);

// --- What a PLL word really makes, for reports ---
// The fitted formulas above are what the window shows and what the entry stores; these
// give the PLL's own output, f = Fref * N / (M * 2^P), so an owner can see the real clock.

// The reference crystal strap bit 6 selects, in MHz: 14.31818 when set, 13.5 when clear.
double CrystalMHz(uint32_t strap);
// The PLL's output in MHz; nothing when M is 0 (the PLL would divide by it).
std::optional<double> PllOutputMHz(uint32_t pll, uint32_t strap);

// --- Routines over the chip's registers ---
// Each reads its PLL register three times and the strap once, in the documented order;
// nothing is cached. A read routine gives nothing when a register could not be read, or
// when a PLL or strap word reads FFFFFFFFh: a card that is not initialised, or whose
// memory decoding is off, answers all ones from every register, and that is no clock
// (`noAnswer`, when given, is set to tell this case).

inline constexpr uint32_t kNoAnswerWord = 0xFFFFFFFF;

// A register's physical address; nothing when it would wrap past 4 GiB, so that a
// nonsensical base never sends an access to some unrelated low address.
std::optional<uint32_t> RegisterAddress(uint32_t base, uint32_t offset);

std::optional<int32_t> ReadTntChipClock(HardwareAccess& hw, uint32_t registerBase,
                                        bool* noAnswer = nullptr);
std::optional<int32_t> ReadTntMemClock(HardwareAccess& hw, uint32_t registerBase,
                                       bool* noAnswer = nullptr);
std::optional<int32_t> ReadRiva128Clock(HardwareAccess& hw, uint32_t registerBase,
                                        bool* noAnswer = nullptr);

enum class SetResult {
    Written,       // N written into bits 8..15, every other bit as read
    OutOfRange,    // target refused, nothing written
    AccessFailed,  // a register could not be read or written
    NoAnswer       // a PLL or strap word read FFFFFFFFh: nothing written
};

SetResult SetTntChipClock(HardwareAccess& hw, uint32_t registerBase, int32_t mhz);
SetResult SetTntMemClock(HardwareAccess& hw, uint32_t registerBase, int32_t mhz);
SetResult SetRiva128Clock(HardwareAccess& hw, uint32_t registerBase, int32_t mhz);

}  // namespace tarvento
