// SPDX-License-Identifier: GPL-3.0-or-later
#include "chip/pll_physics.h"

#include <cmath>

#include "chip/registers.h"

namespace tarvento {

namespace {

// A crystal as the double the clocks are worked out with and as the exact fraction it
// stands for, by which candidate words are compared: two words of the same clock (N / M
// alike) must tie exactly, not by the last bit of a rounding.
struct Crystal {
    double mhz;
    int64_t num, den;
};
constexpr Crystal kCrystal14 = {14.31818, 715909, 50000};
constexpr Crystal kCrystal13 = {13.5, 27, 2};
static_assert(kCrystal14.mhz == static_cast<double>(kCrystal14.num) / static_cast<double>(kCrystal14.den));
static_assert(kCrystal13.mhz == static_cast<double>(kCrystal13.num) / static_cast<double>(kCrystal13.den));

const Crystal& CrystalOf(uint32_t strap) { return StrapCrystalBitSet(strap) ? kCrystal14 : kCrystal13; }

constexpr uint32_t kMaxN = 255;

uint32_t WithMN(uint32_t pll, uint32_t m, uint32_t n) {
    return (pll & ~(kPllMMask | kPllNMask)) | m | (n << kPllNShift);
}

// The N nearest to `mhz` for M and P, floor(t * M * 2^P / Fref + 0.5); nothing outside 1..255.
std::optional<uint32_t> NearestN(int32_t mhz, uint32_t m, uint32_t p, double fref) {
    if (m == 0) return std::nullopt;
    const double n = std::floor(static_cast<double>(mhz) * m * std::ldexp(1.0, static_cast<int>(p)) / fref + 0.5);
    if (!(n >= 1.0 && n <= kMaxN)) return std::nullopt;
    return static_cast<uint32_t>(n);
}

// The word for M, when its nearest N reads back as `mhz`.
std::optional<uint32_t> WordReadingAs(int32_t mhz, uint32_t pll, uint32_t m, uint32_t strap) {
    const auto n = NearestN(mhz, m, PllP(pll, kPllThreeBitPMask), CrystalOf(strap).mhz);
    if (!n) return std::nullopt;
    const uint32_t word = WithMN(pll, m, *n);
    if (PhysicsClockFromPll(word, strap) != mhz) return std::nullopt;
    return word;
}

// |f - t| * den * 2^P * M for the word's M and N, exactly: f - t is
// (num * N - t * den * M * 2^P) / (den * M * 2^P). The words compared share P.
int64_t ScaledDistance(int32_t mhz, uint32_t word, const Crystal& c) {
    const int64_t m = PllM(word);
    const int64_t a = c.num * PllN(word) - int64_t{mhz} * c.den * m * (int64_t{1} << PllP(word, kPllThreeBitPMask));
    return a < 0 ? -a : a;
}

// True when `a` lies nearer to `mhz` than `b` (as fractions over den * 2^P: |A| / M).
bool Nearer(int32_t mhz, uint32_t a, uint32_t b, const Crystal& c) {
    return ScaledDistance(mhz, a, c) * PllM(b) < ScaledDistance(mhz, b, c) * PllM(a);
}

}  // namespace

double CrystalMHz(uint32_t strap) { return CrystalOf(strap).mhz; }

std::optional<double> PllOutputMHz(uint32_t pll, uint32_t strap, uint32_t pMask) {
    if (PllM(pll) == 0) return std::nullopt;
    return CrystalMHz(strap) * PllN(pll) /
           (PllM(pll) * std::ldexp(1.0, static_cast<int>(PllP(pll, pMask))));
}

MRange DriverMRange(uint32_t strap) { return StrapCrystalBitSet(strap) ? MRange{8, 14} : MRange{7, 13}; }

int32_t PhysicsClockFromPll(uint32_t pll, uint32_t strap) {
    const std::optional<double> f = PllOutputMHz(pll, strap, kPllThreeBitPMask);
    // At most 14.31818 * 255 MHz: always an int32.
    return f ? static_cast<int32_t>(std::floor(*f + 0.5)) : 0;
}

std::optional<uint32_t> PhysicsWordFor(int32_t mhz, uint32_t pll, uint32_t strap) {
    // Only N changes when the word's own M can make the clock.
    if (const auto kept = WordReadingAs(mhz, pll, PllM(pll), strap)) return kept;
    // A BIOS may leave N near 255: another M makes room, P stays.
    std::optional<uint32_t> best;
    const MRange range = DriverMRange(strap);
    for (uint32_t m = range.low; m <= range.high; ++m) {
        const auto word = WordReadingAs(mhz, pll, m, strap);
        if (word && (!best || Nearer(mhz, *word, *best, CrystalOf(strap)))) best = word;
    }
    return best;
}

}  // namespace tarvento
