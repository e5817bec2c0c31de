// SPDX-License-Identifier: GPL-3.0-or-later
// The conversions between PLL coefficient words and MHz, without a machine.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <fstream>
#include <limits>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "chip/clock_formulas.h"
#include "tests/support/card_constants.h"

namespace tarvento {
namespace {

using namespace testing;

TEST(ClockReadConversions, WorkedRegisterWithStrapBitSet) {
    EXPECT_EQ(TntChipClockFromPll(kWordN150, kStrapSet), 90);
    EXPECT_EQ(TntMemClockFromPll(kWordN150, kStrapSet), 89);
    EXPECT_EQ(Riva128ClockFromPll(kWordN150, kStrapSet), 89);
}

TEST(ClockReadConversions, WorkedRegisterWithStrapBitClear) {
    EXPECT_EQ(TntChipClockFromPll(kWordN150, kStrapClear), 85);
    EXPECT_EQ(TntMemClockFromPll(kWordN150, kStrapClear), 84);
    EXPECT_EQ(Riva128ClockFromPll(kWordN150, kStrapClear), 84);
}

TEST(ClockReadConversions, ZeroReferenceDividerReadsAsZero) {
    // M = 0 makes the step factor infinite; N = 3 for the RIVA 128 makes it 0 x inf.
    for (const uint32_t pll : {0x00019600u, 0x00010300u, 0x00010000u, 0xFFFFFF00u}) {
        for (const uint32_t strap : {kStrapSet, kStrapClear}) {
            SCOPED_TRACE(::testing::Message() << std::hex << pll << " " << strap);
            EXPECT_EQ(TntChipClockFromPll(pll, strap), 0);
            EXPECT_EQ(TntMemClockFromPll(pll, strap), 0);
            EXPECT_EQ(Riva128ClockFromPll(pll, strap), 0);
        }
    }
}

TEST(ClockSetConversions, LargestNIsTakenAndTheNextRefused) {
    // M = 3, P = 2: targets whose N lands exactly on 255, and the next MHz on 256.
    constexpr uint32_t pll = 0x00029603;
    EXPECT_EQ(TntChipN(305, pll, kStrapSet), 255u);
    EXPECT_EQ(TntChipN(306, pll, kStrapSet), std::nullopt);
    EXPECT_EQ(TntChipN(288, pll, kStrapClear), 255u);
    EXPECT_EQ(TntChipN(289, pll, kStrapClear), std::nullopt);
    EXPECT_EQ(TntMemN(307, pll, kStrapSet), 255u);
    EXPECT_EQ(TntMemN(308, pll, kStrapSet), std::nullopt);
    EXPECT_EQ(TntMemN(289, pll, kStrapClear), 255u);
    EXPECT_EQ(TntMemN(290, pll, kStrapClear), std::nullopt);
    EXPECT_EQ(Riva128N(309, pll, kStrapSet), 255u);
    EXPECT_EQ(Riva128N(310, pll, kStrapSet), std::nullopt);
    EXPECT_EQ(Riva128N(291, pll, kStrapClear), 255u);
    EXPECT_EQ(Riva128N(292, pll, kStrapClear), std::nullopt);
}

TEST(ClockSetConversions, NegativeTargetsAreRefusedAndZeroIsNot) {
    for (const uint32_t strap : {kStrapSet, kStrapClear}) {
        EXPECT_EQ(TntChipN(-1, kWordN150, strap), std::nullopt);
        EXPECT_EQ(TntMemN(-90, kWordN150, strap), std::nullopt);
        EXPECT_EQ(Riva128N(-3, kWordN150, strap), std::nullopt);
        EXPECT_EQ(TntChipN(INT32_MIN, kWordN150, strap), std::nullopt);
        EXPECT_EQ(TntMemN(INT32_MIN, kWordN150, strap), std::nullopt);
        EXPECT_EQ(Riva128N(INT32_MIN, kWordN150, strap), std::nullopt);
        // 0 MHz rounds to N = 0 for the core; the RIVA 128's offset keeps it above.
        EXPECT_EQ(TntChipN(0, kWordN150, strap), 0u);
    }
    EXPECT_EQ(Riva128N(0, kWordN150, kStrapClear), 3u);
    // No rounding term: a value just below zero truncates to N = 0 and is taken.
    EXPECT_EQ(Riva128N(-2, kWordN150, kStrapClear), 0u);
}

TEST(ClockSetConversions, NWhoseLowBitsMerelyFitIsRefused) {
    // Far beyond any clock, N exceeds 32 bits; its low 32 bits (30, then 234 for the
    // negative target) would pass a test made on them alone.
    constexpr uint32_t pll = 0x000F96FF;  // M = 255, P = 15: the smallest step factor
    EXPECT_EQ(TntChipN(3887596, pll, kStrapSet), std::nullopt);
    EXPECT_EQ(TntChipN(-111803425, pll, kStrapSet), std::nullopt);
    EXPECT_EQ(TntChipN(INT32_MAX, pll, kStrapSet), std::nullopt);
    EXPECT_EQ(TntMemN(INT32_MAX, pll, kStrapClear), std::nullopt);
    EXPECT_EQ(Riva128N(INT32_MAX, pll, kStrapSet), std::nullopt);
}

TEST(TruncToInt64, TruncatesTowardZero) {
    EXPECT_EQ(TruncToInt64(0.0), 0);
    EXPECT_EQ(TruncToInt64(-0.0), 0);
    EXPECT_EQ(TruncToInt64(2.9999999), 2);
    EXPECT_EQ(TruncToInt64(-2.9999999), -2);
    EXPECT_EQ(TruncToInt64(-0.9), 0);
    EXPECT_EQ(TruncToInt64(255.5), 255);
}

TEST(TruncToInt64, EdgesOfTheRange) {
    constexpr int64_t kMin = std::numeric_limits<int64_t>::min();
    const double largestBelow = std::nextafter(9223372036854775808.0, 0.0);
    EXPECT_EQ(TruncToInt64(largestBelow), 9223372036854774784);
    EXPECT_EQ(TruncToInt64(-largestBelow), -9223372036854774784);
    EXPECT_EQ(TruncToInt64(-9223372036854775808.0), kMin);  // in range, and exact
    EXPECT_EQ(TruncToInt64(9223372036854775808.0), kMin);
    EXPECT_EQ(TruncToInt64(-9223372036854777856.0), kMin);
    EXPECT_EQ(TruncToInt64(1e300), kMin);
    EXPECT_EQ(TruncToInt64(std::numeric_limits<double>::infinity()), kMin);
    EXPECT_EQ(TruncToInt64(-std::numeric_limits<double>::infinity()), kMin);
    EXPECT_EQ(TruncToInt64(std::numeric_limits<double>::quiet_NaN()), kMin);
    EXPECT_EQ(TruncToInt64(-std::numeric_limits<double>::quiet_NaN()), kMin);
    // What every caller keeps of the sentinel: its low 32 bits, 0.
    EXPECT_EQ(static_cast<uint32_t>(TruncToInt64(std::nan(""))), 0u);
}

// Reference values computed apart from this program (IEEE doubles with explicit
// single-precision roundings), covering all of M, N, P, stray register and strap bits,
// and targets on the knife edge between two values of N.
std::vector<std::vector<std::string>> ReadFixture(const std::string& name) {
    std::ifstream in(std::string(TARVENTO_TEST_DATA_DIR) + "/clock_formulas/" + name);
    EXPECT_TRUE(in) << name;
    std::vector<std::vector<std::string>> rows;
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream fields(line);
        std::vector<std::string> row;
        for (std::string f; fields >> f;) row.push_back(f);
        rows.push_back(row);
    }
    return rows;
}

uint32_t Hex(const std::string& s) { return static_cast<uint32_t>(std::stoul(s, nullptr, 16)); }
std::optional<uint32_t> NField(const std::string& s) {
    if (s == "-") return std::nullopt;
    return static_cast<uint32_t>(std::stoul(s));
}

TEST(ClockReadConversions, AgreeWithReferenceValues) {
    const auto rows = ReadFixture("reads.txt");
    ASSERT_GE(rows.size(), 50u);
    for (const auto& r : rows) {
        ASSERT_EQ(r.size(), 5u);
        SCOPED_TRACE(r[0] + " " + r[1]);
        const uint32_t pll = Hex(r[0]), strap = Hex(r[1]);
        EXPECT_EQ(TntChipClockFromPll(pll, strap), std::stoi(r[2]));
        EXPECT_EQ(TntMemClockFromPll(pll, strap), std::stoi(r[3]));
        EXPECT_EQ(Riva128ClockFromPll(pll, strap), std::stoi(r[4]));
    }
}

TEST(ClockSetConversions, AgreeWithReferenceValues) {
    const auto rows = ReadFixture("sets.txt");
    ASSERT_GE(rows.size(), 50u);
    for (const auto& r : rows) {
        ASSERT_EQ(r.size(), 6u);
        SCOPED_TRACE(r[0] + " " + r[1] + " " + r[2]);
        const uint32_t pll = Hex(r[0]), strap = Hex(r[1]);
        const int32_t target = std::stoi(r[2]);
        EXPECT_EQ(TntChipN(target, pll, strap), NField(r[3]));
        EXPECT_EQ(TntMemN(target, pll, strap), NField(r[4]));
        EXPECT_EQ(Riva128N(target, pll, strap), NField(r[5]));
    }
}

}  // namespace
}  // namespace tarvento
