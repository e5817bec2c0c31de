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

}  // namespace tarvento
