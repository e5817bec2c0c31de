// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <optional>

namespace tarvento {

// --- The PLL's own relation: f = Fref * N / (M * 2^P) ---
// Every chip's PLL runs at that clock. The reports show it for every chip; the TNT2 family,
// which has no fitted formulas, is read and set by it alone.

// The reference crystal strap bit 6 selects, in MHz: 14.31818 when set, 13.5 when clear.
double CrystalMHz(uint32_t strap);
// The PLL's output in MHz, in double precision and in that order, with P taken from the
// field `pMask` (kPllPMask or kPllThreeBitPMask); nothing when M is 0.
std::optional<double> PllOutputMHz(uint32_t pll, uint32_t strap, uint32_t pMask);

// The reference dividers drivers program on this family without a BIOS table: 8..14 with
// the 14.31818 MHz crystal, 7..13 with the 13.5 MHz one.
struct MRange {
    uint32_t low, high;  // inclusive
};
MRange DriverMRange(uint32_t strap);

// --- The TNT2 family (P in bits 16..18) ---
// The clock a word makes in whole MHz, floor(f + 0.5), as the window shows it; 0 when M is 0.
int32_t PhysicsClockFromPll(uint32_t pll, uint32_t strap);
// The word a set of `mhz` writes into a PLL that holds `pll`: the word's own M with its
// nearest N when that reads back as `mhz`; otherwise, of the drivers' M range, the M and
// nearest N that read back as `mhz` and lie nearest to it (the smaller M on a tie). P and
// bits 19..31 are kept. Nothing when no word reads back as `mhz`.
std::optional<uint32_t> PhysicsWordFor(int32_t mhz, uint32_t pll, uint32_t strap);

}  // namespace tarvento
