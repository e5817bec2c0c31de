// SPDX-License-Identifier: GPL-3.0-or-later
// How a chip's clocks are read when it is recognised: which routines, in which order, and
// nothing recognised (and nothing touched) when the chip is unsupported or unreadable.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "chip/chip_recognition.h"
#include "chip/chip_table.h"
#include "chip/clock_pair.h"
#include "tests/chip/chip_on_machine.h"

namespace tarvento {
namespace {

using namespace testing;

using Access = FakeHardware::Access;

TEST_F(ChipProfilesOnMachine, Riva128FamilyReadsOneClockForBoth) {
    for (const uint16_t device : {uint16_t{0x0018}, uint16_t{0x0019}}) {
        hw.ClearLog();
        Registers(0x0001A70C, kWordN150, 0x40);
        RecognizedChip chip;
        ASSERT_EQ(RecognizeChip(state, 0x12D2, device, chip), Recognition::Recognized);
        EXPECT_EQ(chip.profile, FindChipProfile(0x12D2, device));
        EXPECT_EQ(chip.clocks, (ClockPair{89, 89}));
        EXPECT_EQ(state.currentChipName, chip.profile->name);
        // One read routine on the memory PLL; the core PLL is never consulted.
        EXPECT_EQ(hw.CountAccesses(Access::Read, kMemPll), 3);
        EXPECT_EQ(hw.CountAccesses(Access::Read, kStrap), 1);
        EXPECT_EQ(hw.CountAccesses(Access::Read, kCorePll), 0);
        EXPECT_TRUE(hw.Writes().empty());
    }
}

TEST_F(ChipProfilesOnMachine, TntReadsMemoryFirstThenChip) {
    Registers(0x0001A70C, kWordN150, 0x40);
    RecognizedChip chip;
    ASSERT_EQ(RecognizeChip(state, 0x10DE, 0x0020, chip), Recognition::Recognized);
    EXPECT_STREQ(state.currentChipName, "RIVA_TNT");
    // Core N = A7h reads as 100 MHz, memory N = 96h as 89.
    EXPECT_EQ(chip.clocks, (ClockPair{89, 100}));
    const std::vector<Access> expected = {
        {Access::Read, kMemPll, kWordN150},    {Access::Read, kMemPll, kWordN150},
        {Access::Read, kStrap, 0x40},        {Access::Read, kMemPll, kWordN150},
        {Access::Read, kCorePll, 0x0001A70C},   {Access::Read, kCorePll, 0x0001A70C},
        {Access::Read, kStrap, 0x40},        {Access::Read, kCorePll, 0x0001A70C},
    };
    EXPECT_EQ(hw.Log(), expected);
}

TEST_F(ChipProfilesOnMachine, UnsupportedChipTouchesNothingAndSetsNoName) {
    Registers(kWordN150, kWordN150, 0x40);
    RecognizedChip chip;
    EXPECT_EQ(RecognizeChip(state, 0x12D2, 0x0020, chip), Recognition::Unsupported);
    EXPECT_EQ(chip.profile, nullptr);
    EXPECT_EQ(state.currentChipName, nullptr);
    EXPECT_TRUE(hw.Log().empty());
}

TEST_F(ChipProfilesOnMachine, RegisterReadFailureRecognisesNothing) {
    Registers(kWordN150, kWordN150, 0x40);
    RecognizedChip chip;
    hw.FailRegister(kCorePll);  // the TNT's second clock cannot be read
    EXPECT_EQ(RecognizeChip(state, 0x10DE, 0x0020, chip), Recognition::RegisterReadFailed);
    EXPECT_EQ(chip.profile, nullptr);
    EXPECT_EQ(state.currentChipName, nullptr);

    hw.FailRegister(kStrap);
    EXPECT_EQ(RecognizeChip(state, 0x10DE, 0x0018, chip), Recognition::RegisterReadFailed);
    EXPECT_EQ(state.currentChipName, nullptr);
    EXPECT_TRUE(hw.Writes().empty());
}

}  // namespace
}  // namespace tarvento
