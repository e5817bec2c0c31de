// SPDX-License-Identifier: GPL-3.0-or-later
// How a pair of clocks is applied: which PLLs each chip writes, in which order, what a
// refused or unreachable clock leaves behind, and the check made before boot clocks are
// stored, which must say what the apply would do and write nothing.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "chip/apply_clocks.h"
#include "chip/chip_recognition.h"
#include "chip/chip_table.h"
#include "chip/clock_pair.h"
#include "tests/chip/chip_on_machine.h"

namespace tarvento {
namespace {

using namespace testing;

using Result = ApplyOutcome::Result;
using Access = FakeHardware::Access;

TEST_F(ChipProfilesOnMachine, Riva128WritesOnlyTheMemoryClock) {
    for (const char* name : {kRiva128Name, kRiva128ZxName}) {
        Registers(kWordN150, kWordN150, 0x40);
        hw.ClearLog();
        state.currentChipName = name;
        EXPECT_EQ(ApplyClocks(state, ClockPair{100, 120}).result, Result::Applied) << name;
        const std::vector<Access> writes = {{Access::Write, kMemPll, 0x0001A70C}};
        EXPECT_EQ(hw.Writes(), writes) << name;
        EXPECT_EQ(hw.CountAccesses(Access::Read, kCorePll), 0) << name;
    }
}

TEST_F(ChipProfilesOnMachine, TntWritesMemoryThenChip) {
    Registers(kWordN150, kWordN150, 0x40);
    state.currentChipName = kRivaTntName;
    const ApplyOutcome outcome = ApplyClocks(state, ClockPair{100, 145});
    EXPECT_EQ(outcome.result, Result::Applied);
    EXPECT_FALSE(outcome.reason.Known());
    const std::vector<Access> writes = {{Access::Write, kMemPll, 0x0001A80C},
                                        {Access::Write, kCorePll, 0x0001F20C}};
    EXPECT_EQ(hw.Writes(), writes);
}

TEST_F(ChipProfilesOnMachine, TntChipRefusedKeepsTheMemoryWrittenAndSaysRefused) {
    Registers(kWordN150, kWordN150, 0x00);  // strap clear: 145 MHz is refused
    state.currentChipName = kRivaTntName;
    const ApplyOutcome outcome = ApplyClocks(state, ClockPair{100, 145});
    EXPECT_EQ(outcome.result, Result::Refused);
    EXPECT_FALSE(outcome.reason.Known());
    EXPECT_EQ(hw.Register(kMemPll), 0x0001B20Cu);
    EXPECT_EQ(hw.Register(kCorePll), kWordN150);
    EXPECT_EQ(hw.CountAccesses(Access::Write, kCorePll), 0);
}

TEST_F(ChipProfilesOnMachine, TntChipStillWrittenAfterMemoryRefused) {
    Registers(kWordN150, kWordN150, 0x00);
    state.currentChipName = kRivaTntName;
    EXPECT_EQ(ApplyClocks(state, ClockPair{145, 100}).result, Result::Refused);
    const std::vector<Access> writes = {{Access::Write, kCorePll, 0x0001B10C}};
    EXPECT_EQ(hw.Writes(), writes);
}

TEST_F(ChipProfilesOnMachine, BothRefusedWritesNothing) {
    Registers(kWordN150, kWordN150, 0x00);
    state.currentChipName = kRivaTntName;
    EXPECT_EQ(ApplyClocks(state, ClockPair{145, -3}).result, Result::Refused);
    EXPECT_TRUE(hw.Writes().empty());
}

TEST_F(ChipProfilesOnMachine, ValuesOutsideTheSlidersReachTheChipUnchanged) {
    // 60 MHz is below every slider yet within the PLL's reach.
    Registers(kWordN150, kWordN150, 0x40);
    state.currentChipName = kRiva128Name;
    EXPECT_EQ(ApplyClocks(state, ClockPair{60, 60}).result, Result::Applied);
    EXPECT_EQ(hw.Register(kMemPll), 0x0001650Cu);  // N = 101
}

TEST_F(ChipProfilesOnMachine, NoChipWritesNothing) {
    Registers(kWordN150, kWordN150, 0x40);
    EXPECT_EQ(ApplyClocks(state, ClockPair{100, 100}).result, Result::NoChip);
    EXPECT_TRUE(hw.Log().empty());
}

TEST_F(ChipProfilesOnMachine, AccessFailureOutweighsOutOfRange) {
    Registers(kWordN150, kWordN150, 0x00);
    state.currentChipName = kRivaTntName;
    hw.FailRegister(kMemPll);
    // Memory unreachable, chip refused: the outcome names the access.
    EXPECT_EQ(ApplyClocks(state, ClockPair{100, 145}).result, Result::AccessFailed);
    EXPECT_TRUE(hw.Writes().empty());

    hw.FailRegister(kStrap);
    state.currentChipName = kRiva128Name;
    EXPECT_EQ(ApplyClocks(state, ClockPair{100, 100}).result, Result::AccessFailed);
}

// A card that is not initialised, or whose memory decoding is off, answers all ones.
TEST_F(ChipProfilesOnMachine, ACardAnsweringAllOnesIsNoChipAndIsNeverWritten) {
    for (uint32_t ones : {kCorePll, kMemPll, kStrap}) {
        Registers(kWordN150, kWordN150, 0x40);
        hw.SetRegister(ones, 0xFFFFFFFF);
        ChipState fresh(hw);
        fresh.discovery.registerBase = kBase;
        RecognizedChip chip;
        EXPECT_EQ(RecognizeChip(fresh, 0x10DE, 0x0020, chip), Recognition::RegisterReadFailed);
        EXPECT_EQ(fresh.currentChipName, nullptr);
        EXPECT_FALSE(fresh.recognizedAdapter.has_value());
        EXPECT_EQ(chip.failureReason.kind, AccessFailure::Kind::NoAnswer);

        // A card stops answering as a whole (decoding off): the first routine's words,
        // the memory PLL and the strap, already tell.
        if (ones == kCorePll) continue;
        // Before any write too: nothing is written, the outcome says why, and the chip clock
        // is not tried after the memory clock found no card.
        hw.ClearLog();
        state.currentChipName = kRivaTntName;
        const ApplyOutcome outcome = ApplyClocks(state, ClockPair{100, 100});
        EXPECT_TRUE(hw.Writes().empty());
        EXPECT_EQ(outcome.result, Result::AccessFailed);
        EXPECT_EQ(outcome.reason.kind, AccessFailure::Kind::NoAnswer);
        EXPECT_EQ(hw.CountAccesses(Access::Read, kCorePll), 0);
    }
}

TEST_F(ChipProfilesOnMachine, TheWritesGoToTheRecognisedAdapterWhateverALaterDiscoveryFound) {
    Registers(kWordN150, kWordN150, 0x40);
    RecognizedChip chip;
    ASSERT_EQ(RecognizeChip(state, 0x10DE, 0x0020, chip), Recognition::Recognized);
    state.discovery.registerBase = 0xE2000000;  // another card, found by the autostart click
    hw.ClearLog();
    EXPECT_EQ(ApplyClocks(state, ClockPair{100, 100}).result, Result::Applied);
    for (const Access& a : hw.Log()) EXPECT_EQ(a.address & 0xFF000000u, kBase) << std::hex << a.address;
    EXPECT_EQ(hw.Writes().size(), 2u);
}

TEST_F(ChipProfilesOnMachine, RecognisedClocksWrittenBackLeaveTheRegistersAsTheyWere) {
    // Restoring the start-up pair (Panic) writes the N the chip already had.
    Registers(0x0001A70C, 0x0001A80C, 0x40);
    RecognizedChip chip;
    ASSERT_EQ(RecognizeChip(state, 0x10DE, 0x0020, chip), Recognition::Recognized);
    EXPECT_EQ(chip.clocks, (ClockPair{100, 100}));
    EXPECT_EQ(ApplyClocks(state, chip.clocks).result, Result::Applied);
    EXPECT_EQ(hw.Register(kMemPll), 0x0001A80Cu);
    EXPECT_EQ(hw.Register(kCorePll), 0x0001A70Cu);
}

TEST(ClockCheck, SaysWhatTheApplyWouldDoAndWritesNothing) {
    // Every chip, both crystals, stock and unusual words, clocks from far below to far
    // above what the PLLs reach: the check and the apply must never disagree.
    const uint32_t words[] = {kWordN150, 0x0001B80C, 0x0000A806, 0x0003FF01, 0x00016400};
    for (const ChipProfile& profile : ChipProfiles()) {
        for (const uint32_t strap : {kStrapSet, kStrapClear}) {
            for (const uint32_t word : words) {
                for (int32_t mhz = -10; mhz <= 700; mhz += 7) {
                    const ClockPair pair{mhz, 700 - mhz};
                    FakeCard checked(profile, word, word, strap);
                    checked.hw.ClearLog();
                    const ApplyOutcome check = CheckClocks(checked.state, pair);
                    EXPECT_TRUE(checked.hw.Writes().empty());
                    FakeCard applied(profile, word, word, strap);
                    const ApplyOutcome apply = ApplyClocks(applied.state, pair);
                    ASSERT_EQ(check.result, apply.result)
                        << profile.name << " word " << std::hex << word << " strap " << strap
                        << std::dec << " clocks " << pair.memory << "/" << pair.chip;
                }
            }
        }
    }
}

TEST(ClockCheck, AnUnreachableOrSilentCardIsAnAccessFailure) {
    const ChipProfile& tnt = *FindChipProfileByName("RIVA_TNT");
    FakeCard silent(tnt, kWordN150, kWordN150, kStrapSet);
    silent.hw.SetRegister(kStrap, 0xFFFFFFFF);
    EXPECT_EQ(CheckClocks(silent.state, {110, 90}).result, ApplyOutcome::Result::AccessFailed);
    FakeCard gone(tnt, kWordN150, kWordN150, kStrapSet);
    gone.hw.FailRegister(kCorePll);
    EXPECT_EQ(CheckClocks(gone.state, {110, 90}).result, ApplyOutcome::Result::AccessFailed);
    FakeHardware none;
    ChipState unrecognised(none);
    EXPECT_EQ(CheckClocks(unrecognised, {110, 90}).result, ApplyOutcome::Result::NoChip);
}

}  // namespace
}  // namespace tarvento
