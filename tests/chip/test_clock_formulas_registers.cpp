// SPDX-License-Identifier: GPL-3.0-or-later
// The routines over the chip's registers, for each clock the fitted formulas give: what
// they read, in which order, and what they write.
#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <vector>

#include "chip/chip_table.h"
#include "chip/registers.h"
#include "tests/support/fake_hardware.h"
#include "tests/support/card_constants.h"

namespace tarvento {
namespace {

using namespace testing;

using testing::FakeHardware;
using Access = FakeHardware::Access;


// A machine whose register writes fail while reads succeed.
class WriteFailingHardware : public FakeHardware {
public:
    bool WriteRegister(uint32_t, uint32_t) override { return false; }
};

struct Routines {
    const char* name;
    uint32_t pll;  // the PLL register the clock lives in
    const ChipClock& clock;

    std::optional<int32_t> read(HardwareAccess& hw, uint32_t base, bool* noAnswer) const {
        return ReadChipClock(hw, base, clock, noAnswer);
    }
    SetResult set(HardwareAccess& hw, uint32_t base, int32_t mhz) const {
        return SetChipClock(hw, base, clock, mhz);
    }
};

const Routines kAll[] = {
    {"TntChip", kCorePll, kTntChipClock},
    {"TntMem", kMemPll, kTntMemClock},
    {"Riva128", kMemPll, kRiva128Clock},
};

FakeHardware Machine(uint32_t pll, uint32_t strap) {
    FakeHardware hw;
    hw.SetRegister(kCorePll, pll);
    hw.SetRegister(kMemPll, pll);
    hw.SetRegister(kStrap, strap);
    return hw;
}

TEST(ClockRegisterRoutines, SetWorkedTargets) {
    struct Row {
        uint32_t strap;
        int32_t target;
        std::optional<uint32_t> chip, mem, riva128;  // the word written, or nothing
    };
    const Row rows[] = {
        {kStrapSet, 100, 0x0001A70C, 0x0001A80C, 0x0001A70C},
        {kStrapClear, 100, 0x0001B10C, 0x0001B20C, 0x0001B10C},
        {kStrapSet, 145, 0x0001F20C, 0x0001F20C, 0x0001F10C},
        {kStrapClear, 145, std::nullopt, std::nullopt, std::nullopt},
    };
    for (const Row& row : rows) {
        const std::optional<uint32_t> expected[] = {row.chip, row.mem, row.riva128};
        for (int i = 0; i < 3; ++i) {
            SCOPED_TRACE(::testing::Message() << kAll[i].name << " strap " << row.strap
                                              << " target " << row.target);
            FakeHardware hw = Machine(kWordN150, row.strap);
            const SetResult result = kAll[i].set(hw, kBase, row.target);
            if (expected[i]) {
                EXPECT_EQ(result, SetResult::Written);
                EXPECT_EQ(hw.Register(kAll[i].pll), *expected[i]);
                EXPECT_EQ(hw.Writes().size(), 1u);
            } else {
                EXPECT_EQ(result, SetResult::OutOfRange);
                EXPECT_TRUE(hw.Writes().empty());
                EXPECT_EQ(hw.Register(kAll[i].pll), kWordN150);
            }
        }
    }
}

TEST(ClockRegisterRoutines, ReadMakesFourAccessesInOrder) {
    for (const Routines& r : kAll) {
        SCOPED_TRACE(r.name);
        FakeHardware hw = Machine(kWordN150, kStrapSet);
        ASSERT_TRUE(r.read(hw, kBase, nullptr));
        const std::vector<Access> expected = {
            {Access::Read, r.pll, kWordN150},   // M
            {Access::Read, r.pll, kWordN150},   // P
            {Access::Read, kStrap, kStrapSet},
            {Access::Read, r.pll, kWordN150},   // N
        };
        EXPECT_EQ(hw.Log(), expected);
    }
}

TEST(ClockRegisterRoutines, SetThatWritesMakesFiveAccessesInOrder) {
    for (const Routines& r : kAll) {
        SCOPED_TRACE(r.name);
        FakeHardware hw = Machine(kWordN150, kStrapSet);
        ASSERT_EQ(r.set(hw, kBase, 100), SetResult::Written);
        const std::vector<Access> log = hw.Log();
        ASSERT_EQ(log.size(), 5u);
        const std::vector<Access> reads(log.begin(), log.begin() + 4);
        const std::vector<Access> expectedReads = {
            {Access::Read, r.pll, kWordN150},
            {Access::Read, r.pll, kWordN150},
            {Access::Read, kStrap, kStrapSet},
            {Access::Read, r.pll, kWordN150},
        };
        EXPECT_EQ(reads, expectedReads);
        EXPECT_EQ(log[4].kind, Access::Write);
        EXPECT_EQ(log[4].address, r.pll);
    }
}

TEST(ClockRegisterRoutines, RefusedSetMakesThreeAccessesAndNoWrite) {
    // Out of range high, negative, and a register with M = 0.
    struct Case {
        uint32_t pll;
        int32_t target;
    };
    for (const Case c : {Case{kWordN150, 400}, Case{kWordN150, -7}, Case{0x00019600, 100}}) {
        for (const Routines& r : kAll) {
            SCOPED_TRACE(::testing::Message() << r.name << " " << std::hex << c.pll << std::dec
                                              << " target " << c.target);
            FakeHardware hw = Machine(c.pll, kStrapSet);
            EXPECT_EQ(r.set(hw, kBase, c.target), SetResult::OutOfRange);
            const std::vector<Access> expected = {
                {Access::Read, r.pll, c.pll},
                {Access::Read, r.pll, c.pll},
                {Access::Read, kStrap, kStrapSet},
            };
            EXPECT_EQ(hw.Log(), expected);
        }
    }
}

TEST(ClockRegisterRoutines, SetKeepsEveryBitButN) {
    // Stray bits everywhere outside N, including all of 20..31.
    constexpr uint32_t pll = 0xFFF1960C;
    const uint32_t written[] = {0xFFF1A70C, 0xFFF1A80C, 0xFFF1A70C};
    for (int i = 0; i < 3; ++i) {
        FakeHardware hw = Machine(pll, kStrapSet);
        ASSERT_EQ(kAll[i].set(hw, kBase, 100), SetResult::Written) << kAll[i].name;
        EXPECT_EQ(hw.Register(kAll[i].pll), written[i]) << kAll[i].name;
    }
    // N = 255 at the top of the field, on a register with the other bits set.
    FakeHardware hw = Machine(0xABC29603, kStrapSet);
    ASSERT_EQ(SetChipClock(hw, kBase, kTntChipClock, 305), SetResult::Written);
    EXPECT_EQ(hw.Register(kCorePll), 0xABC2FF03u);
    EXPECT_EQ(SetChipClock(hw, kBase, kTntChipClock, 306), SetResult::OutOfRange);
    EXPECT_EQ(hw.Register(kCorePll), 0xABC2FF03u);
}

TEST(ClockRegisterRoutines, NewNIsMergedIntoTheThirdRead) {
    // A register that changes between the reads: M and P come from the first two reads,
    // the bits written back from the third, as the chip held it last.
    class ChangingHardware : public FakeHardware {
    public:
        std::vector<uint32_t> values;
        std::optional<uint32_t> ReadRegister(uint32_t address) override {
            if (address == kCorePll && !values.empty()) {
                SetRegister(kCorePll, values.front());
                values.erase(values.begin());
            }
            return FakeHardware::ReadRegister(address);
        }
    };
    ChangingHardware hw;
    hw.SetRegister(kStrap, kStrapSet);
    // M = 12 first, P = 1 second; the third read carries other stray bits.
    hw.values = {0x0000960C, 0x00010001, 0x5A01960C};
    ASSERT_EQ(SetChipClock(hw, kBase, kTntChipClock, 100), SetResult::Written);
    EXPECT_EQ(hw.Register(kCorePll), 0x5A01A70Cu);

    hw.values = {0x0000000C, 0x00010000, 0x00009600};
    EXPECT_EQ(ReadChipClock(hw, kBase, kTntChipClock), 90);  // M = 12, P = 1, N = 150
}

TEST(ClockRegisterRoutines, RegisterReadFailureGivesNothingAndWritesNothing) {
    for (const uint32_t failing : {kCorePll, kMemPll, kStrap}) {
        for (const Routines& r : kAll) {
            if (failing != kStrap && failing != r.pll) continue;
            SCOPED_TRACE(::testing::Message() << r.name << " failing " << std::hex << failing);
            FakeHardware hw = Machine(kWordN150, kStrapSet);
            hw.FailRegister(failing);
            EXPECT_EQ(r.read(hw, kBase, nullptr), std::nullopt);
            EXPECT_EQ(r.set(hw, kBase, 100), SetResult::AccessFailed);
            EXPECT_TRUE(hw.Writes().empty());
        }
    }
}

TEST(ClockRegisterRoutines, FailedWriteIsReported) {
    for (const Routines& r : kAll) {
        WriteFailingHardware hw;
        hw.SetRegister(r.pll, kWordN150);
        hw.SetRegister(kStrap, kStrapSet);
        EXPECT_EQ(r.set(hw, kBase, 100), SetResult::AccessFailed) << r.name;
        EXPECT_EQ(hw.Register(r.pll), kWordN150);
    }
}

TEST(ClockRegisterRoutines, BaseThatWouldWrapPastFourGigabytesTouchesNothing) {
    // FFA00000h + 680500h lies beyond 32 bits; wrapping would reach a low address.
    for (const Routines& r : kAll) {
        FakeHardware hw;
        EXPECT_EQ(r.read(hw, 0xFFA00000, nullptr), std::nullopt) << r.name;
        EXPECT_EQ(r.set(hw, 0xFFA00000, 100), SetResult::AccessFailed) << r.name;
        EXPECT_TRUE(hw.Log().empty()) << r.name;
    }
}

}  // namespace
}  // namespace tarvento
