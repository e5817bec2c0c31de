// SPDX-License-Identifier: GPL-3.0-or-later
// Clock formulas of the RIVA 128, RIVA 128ZX and RIVA TNT.
//
// Each clock comes from a PLL whose coefficient word holds M (reference divider), N
// (feedback multiplier) and P (post-divider exponent), and runs at
//
//     f = Fref * N / (M * 2^P)
//
// where Fref is the reference crystal. Strap bit 6 tells which crystal the board carries:
// set, 14.31818 MHz; clear, 13.5 MHz; on both families. The TNT formulas below are fitted
// at 14.31818 MHz and scaled by 13.5 / 14.31818 when the bit is clear; the RIVA 128 formula
// is fitted at 13.5 MHz and scaled by 14.31818 / 13.5 when the bit is set. So the same bit
// reads as a correction in opposite senses, while meaning the same crystal.
//
// The formulas are not the bare relation: each is a fitted factor (a slope, an offset on N,
// a rounding term) over a step factor 2k / (M * 2^P), k being 14 for the core PLL and 11
// for the memory PLL, and read and set are not exact inverses. The constants, their
// single- or double-precision roundings and the order of every operation are kept exactly
// as they are, so that the results match the stored reference values to the last MHz
// (tests/data/clock_formulas); tidying them into the textbook form would change results.

#include "chip/clock_formulas.h"

#include <bit>
#include <cmath>
#include <limits>

#include "chip/registers.h"

namespace tarvento {

namespace {

// The formulas were fitted to the chips' clock generators; their constants are fixed by
// their bit patterns, so that every result matches to the last MHz.
constexpr float kCoreNumerator = std::bit_cast<float>(0x41600000u);  // 14.0
constexpr float kMemNumerator = std::bit_cast<float>(0x41300000u);   // 11.0
constexpr float kTntCrystal = std::bit_cast<float>(0x3F715F18u);     // 13.5 / 14.31818
constexpr float kRiva128Crystal = std::bit_cast<float>(0x3F87C1EFu); // 14.31818 / 13.5
constexpr double kTntChipReadSlopeNeg = std::bit_cast<double>(0xBFE066DF53D8A2B5ull);
constexpr double kTntMemReadOffset = std::bit_cast<double>(0x3FFEAAAAAAAAAAABull);
constexpr double kTntMemReadSlope = std::bit_cast<double>(0x3FE5152AC174678Full);
constexpr double kTntChipSetSlope = std::bit_cast<double>(0x3FFF374BC6A7EF9Eull);
constexpr double kTntMemSetSlope = std::bit_cast<double>(0x3FF88D4FDF3B645Aull);
constexpr float kTntMemSetOffset = std::bit_cast<float>(0x42E60000u);
constexpr float kTntMemSetCorrection = std::bit_cast<float>(0x3C888889u);
constexpr double kRiva128SetSlopeNeg = std::bit_cast<double>(0xBFF999999999999Aull);
constexpr double kRiva128Offset = std::bit_cast<double>(0x4008000000000000ull);
constexpr double kRiva128ReadSlope = std::bit_cast<double>(0x3FE4000000000000ull);
constexpr double kHalf = std::bit_cast<double>(0x3FE0000000000000ull);
constexpr double kMinusHalf = std::bit_cast<double>(0xBFE0000000000000ull);
constexpr double kEighth = 0.125;

static_assert(kCoreNumerator == 14.0f && kMemNumerator == 11.0f);
static_assert(kTntCrystal == 0.94285727f);
static_assert(kTntCrystal == static_cast<float>(13.5 / 14.31818));
static_assert(kRiva128Crystal == 1.0606059f);
static_assert(kRiva128Crystal == static_cast<float>(14.31818 / 13.5));
static_assert(kTntChipReadSlopeNeg == -0.5125576627370579);
static_assert(kTntChipReadSlopeNeg == -(1.0 / 1.951));
static_assert(kTntMemReadOffset == 1.9166666666666667 && kTntMemReadOffset == 115.0 / 60.0);
static_assert(kTntMemReadSlope == 0.6588338640606127);
static_assert(kTntMemReadSlope == 1.0 / (1.5345 - 1.0 / 60.0));
static_assert(kTntChipSetSlope == 1.951 && kTntMemSetSlope == 1.5345);
static_assert(kTntMemSetOffset == 115.0f);
static_assert(kTntMemSetCorrection == 0.016666668f);
static_assert(kTntMemSetCorrection == static_cast<float>(1.0 / 60.0));
static_assert(kRiva128SetSlopeNeg == -1.6 && kRiva128Offset == 3.0 && kRiva128ReadSlope == 0.625);
static_assert(kHalf == 0.5 && kMinusHalf == -0.5);

double D(float x) { return static_cast<double>(x); }
float F(double x) { return static_cast<float>(x); }

// The step factor: k / M rounded to single precision, divided by 2^(P+2) x 0.125 and
// rounded again. M = 0 makes it infinite, which the read formulas turn into 0 MHz.
float StepFactor(float numerator, uint32_t m, uint32_t p) {
    const float a = m == 0 ? std::numeric_limits<float>::infinity()
                           : F(D(numerator) / static_cast<double>(m));
    const double d = std::ldexp(1.0, static_cast<int>(p) + 2) * kEighth;
    return F(D(a) / d);
}

int32_t LowInt32(int64_t v) { return static_cast<int32_t>(static_cast<uint32_t>(v)); }

// N must fit the 8-bit field as a whole; a value whose low bits merely happen to fit (a
// target far beyond any clock) is refused like any other.
std::optional<uint32_t> AcceptN(double n) {
    const int64_t t = TruncToInt64(n);
    if (t < 0 || t > 0xFF) return std::nullopt;
    return static_cast<uint32_t>(t);
}

}  // namespace

int32_t TntChipClockFromPll(uint32_t pll, uint32_t strap) {
    float s = StepFactor(kCoreNumerator, PllM(pll), PllP(pll));
    if (!StrapCrystalBitSet(strap)) s = F(D(s) * D(kTntCrystal));
    const double n = static_cast<double>(PllN(pll));
    return LowInt32(TruncToInt64(kHalf - (n * kTntChipReadSlopeNeg) * D(s)));
}

int32_t TntMemClockFromPll(uint32_t pll, uint32_t strap) {
    float s = StepFactor(kMemNumerator, PllM(pll), PllP(pll));
    if (!StrapCrystalBitSet(strap)) s = F(D(s) * D(kTntCrystal));
    const double n = static_cast<double>(PllN(pll));
    return LowInt32(TruncToInt64((n - kTntMemReadOffset) * kTntMemReadSlope * D(s) - kMinusHalf));
}

int32_t Riva128ClockFromPll(uint32_t pll, uint32_t strap) {
    float s = StepFactor(kMemNumerator, PllM(pll), PllP(pll));
    if (StrapCrystalBitSet(strap)) s = F(D(s) * D(kRiva128Crystal));
    const double n = static_cast<double>(PllN(pll));
    // No rounding term: this one truncates.
    return LowInt32(TruncToInt64((n - kRiva128Offset) * kRiva128ReadSlope * D(s)));
}

// The set conversions apply the crystal correction in double precision: the product is
// not rounded back to single as it is when reading. M = 0 would give N = 0 whatever the
// target, so such a register is refused rather than written.
std::optional<uint32_t> TntChipN(int32_t mhz, uint32_t pll, uint32_t strap) {
    if (PllM(pll) == 0) return std::nullopt;
    double s = D(StepFactor(kCoreNumerator, PllM(pll), PllP(pll)));
    if (!StrapCrystalBitSet(strap)) s = s * D(kTntCrystal);
    const double f = static_cast<double>(mhz);
    return AcceptN(f * kTntChipSetSlope / s - kMinusHalf);
}

std::optional<uint32_t> TntMemN(int32_t mhz, uint32_t pll, uint32_t strap) {
    if (PllM(pll) == 0) return std::nullopt;
    double s = D(StepFactor(kMemNumerator, PllM(pll), PllP(pll)));
    if (!StrapCrystalBitSet(strap)) s = s * D(kTntCrystal);
    const double f = static_cast<double>(mhz);
    return AcceptN((f * kTntMemSetSlope - (f - D(kTntMemSetOffset)) * D(kTntMemSetCorrection)) / s -
                   kMinusHalf);
}

std::optional<uint32_t> Riva128N(int32_t mhz, uint32_t pll, uint32_t strap) {
    if (PllM(pll) == 0) return std::nullopt;
    double s = D(StepFactor(kMemNumerator, PllM(pll), PllP(pll)));
    if (StrapCrystalBitSet(strap)) s = s * D(kRiva128Crystal);
    const double f = static_cast<double>(mhz);
    return AcceptN((kRiva128Offset - f * kRiva128SetSlopeNeg) / s);
}

int64_t TruncToInt64(double x) {
    // NaN fails both comparisons; -2^63 itself is in range and converts to INT64_MIN.
    constexpr double kTwo63 = 9223372036854775808.0;
    if (!(x >= -kTwo63 && x < kTwo63)) return std::numeric_limits<int64_t>::min();
    return static_cast<int64_t>(x);
}

}  // namespace tarvento
