// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <optional>

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

}  // namespace tarvento
