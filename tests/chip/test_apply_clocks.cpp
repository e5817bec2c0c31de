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
#include "chip/clock_restore.h"
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
    const ApplyOutcome outcome = ApplyClocks(state, ClockPair{100, 130});
    EXPECT_EQ(outcome.result, Result::Applied);
    EXPECT_FALSE(outcome.reason.Known());
    const std::vector<Access> writes = {{Access::Write, kMemPll, 0x0001A80C},
                                        {Access::Write, kCorePll, 0x0001D90C}};
    EXPECT_EQ(hw.Writes(), writes);
}

// M = 48, P = 0: no N reaches a clock within the TNT's limits, with either crystal.
constexpr uint32_t kWordBeyondReach = 0x00009630;

TEST_F(ChipProfilesOnMachine, TntChipRefusedKeepsTheMemoryWrittenAndSaysRefused) {
    Registers(kWordBeyondReach, kWordN150, 0x00);
    state.currentChipName = kRivaTntName;
    const ApplyOutcome outcome = ApplyClocks(state, ClockPair{100, 100});
    EXPECT_EQ(outcome.result, Result::Refused);
    EXPECT_FALSE(outcome.reason.Known());
    EXPECT_EQ(hw.Register(kMemPll), 0x0001B20Cu);
    EXPECT_EQ(hw.Register(kCorePll), kWordBeyondReach);
    EXPECT_EQ(hw.CountAccesses(Access::Write, kCorePll), 0);
}

TEST_F(ChipProfilesOnMachine, TntChipStillWrittenAfterMemoryRefused) {
    Registers(kWordN150, kWordN150, 0x00);
    state.currentChipName = kRivaTntName;
    EXPECT_EQ(ApplyClocks(state, ClockPair{145, 100}).result, Result::Refused);
    const std::vector<Access> writes = {{Access::Write, kCorePll, 0x0001B10C}};
    EXPECT_EQ(hw.Writes(), writes);
}

TEST_F(ChipProfilesOnMachine, BothRefusedWritesNothingAndAnnouncesNoWrite) {
    Registers(kWordBeyondReach, 0x00009630, 0x00);
    state.currentChipName = kRivaTntName;
    int announced = 0;
    EXPECT_EQ(ApplyClocks(state, ClockPair{145, 80}, [&] { ++announced; }).result, Result::Refused);
    EXPECT_TRUE(hw.Writes().empty());
    EXPECT_EQ(announced, 0) << "an apply that writes nothing is not pending";
}

TEST_F(ChipProfilesOnMachine, TheFirstWriteIsAnnouncedOnceRightBeforeItHappens) {
    Registers(kWordN150, kWordN150, 0x40);
    state.currentChipName = kRivaTntName;
    std::vector<std::size_t> writesSeen;
    ApplyClocks(state, ClockPair{100, 100}, [&] { writesSeen.push_back(hw.Writes().size()); });
    EXPECT_EQ(writesSeen, std::vector<std::size_t>{0});
    EXPECT_EQ(hw.Writes().size(), 2u);
}

// A value the chip's limits exclude, whoever passes it (a start-up argument, an entry
// edited by hand, the boot clocks), is refused before any register is touched: not even
// the other value is written. A RIVA 128's chip value is never written, so it is not
// held to the limits.
TEST(ClockLimits, AValueOutsideTheLimitsTouchesNothing) {
    using Clock = LimitBreach::Clock;
    struct Case {
        const char* chip;
        ClockPair clocks;
        std::vector<LimitBreach> breaches;  // empty: within the limits
    };
    const Case cases[] = {
        {kRivaTntName, {120, 1}, {{Clock::Chip, 1, 80, 130}}},
        {kRivaTntName, {200, 100}, {{Clock::Memory, 200, 80, 145}}},
        {kRivaTntName, {300, 300}, {{Clock::Memory, 300, 80, 145}, {Clock::Chip, 300, 80, 130}}},
        {kRivaTntName, {79, 131}, {{Clock::Memory, 79, 80, 145}, {Clock::Chip, 131, 80, 130}}},
        {kRivaTntName, {80, 130}, {}},
        {kRivaTntName, {145, 80}, {}},
        {kRiva128Name, {60, 60}, {{Clock::Memory, 60, 90, 130}}},
        {kRiva128ZxName, {131, 100}, {{Clock::Memory, 131, 90, 130}}},
        {kRiva128Name, {100, 200}, {}},
        {kRiva128ZxName, {90, -5}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.chip) + " " + std::to_string(c.clocks.memory) + " " +
                     std::to_string(c.clocks.chip));
        for (int path = 0; path < 3; ++path) {  // ApplyClocks, CheckClocks, DryRunClocks
            FakeCard card(*FindChipProfileByName(c.chip), kWordN150, kWordN150, kStrapSet);
            card.hw.ClearLog();
            int announced = 0;
            PllWords words;
            const ApplyOutcome outcome =
                path == 0   ? ApplyClocks(card.state, c.clocks, [&] { ++announced; })
                : path == 1 ? CheckClocks(card.state, c.clocks, &words)
                            : DryRunClocks(card.state, c.clocks, words);
            if (c.breaches.empty()) {
                EXPECT_EQ(outcome.result, Result::Applied) << path;
                continue;
            }
            EXPECT_EQ(outcome.result, Result::OutsideLimits) << path;
            EXPECT_STREQ(outcome.chip, c.chip);
            EXPECT_EQ(outcome.breaches, c.breaches) << path;
            EXPECT_TRUE(card.hw.Log().empty()) << path << ": no register is even read";
            EXPECT_EQ(announced, 0);
            EXPECT_EQ(words.count, 0);
        }
    }
}

TEST_F(ChipProfilesOnMachine, NoChipWritesNothing) {
    Registers(kWordN150, kWordN150, 0x40);
    EXPECT_EQ(ApplyClocks(state, ClockPair{100, 100}).result, Result::NoChip);
    EXPECT_TRUE(hw.Log().empty());
}

TEST_F(ChipProfilesOnMachine, AccessFailureOutweighsOutOfRange) {
    Registers(kWordBeyondReach, kWordN150, 0x00);
    state.currentChipName = kRivaTntName;
    hw.FailRegister(kMemPll);
    // Memory unreachable, chip refused: the outcome names the access.
    EXPECT_EQ(ApplyClocks(state, ClockPair{100, 100}).result, Result::AccessFailed);
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
    // Every chip, both crystals, stock and unusual words, clocks from below to above the
    // limits and what the PLLs reach: the check, the dry run and the apply must never
    // disagree, and the words the check names are the very words the apply writes.
    const uint32_t words[] = {kWordN150, 0x0001B80C, 0x0000A806, 0x0003FF01, 0x00016400, 0x00009630};
    for (const ChipProfile& profile : ChipProfiles()) {
        for (const uint32_t strap : {kStrapSet, kStrapClear}) {
            for (const uint32_t word : words) {
                for (int32_t mhz = -10; mhz <= 250; mhz += 3) {
                    for (const ClockPair pair : {ClockPair{mhz, mhz}, ClockPair{mhz, 210 - mhz}}) {
                        SCOPED_TRACE(::testing::Message()
                                     << profile.name << " word " << std::hex << word << " strap " << strap
                                     << std::dec << " clocks " << pair.memory << "/" << pair.chip);
                        FakeCard checked(profile, word, word, strap);
                        checked.hw.ClearLog();
                        PllWords would, dry;
                        const ApplyOutcome check = CheckClocks(checked.state, pair, &would);
                        const ApplyOutcome dryRun = DryRunClocks(checked.state, pair, dry);
                        EXPECT_TRUE(checked.hw.Writes().empty());
                        FakeCard applied(profile, word, word, strap);
                        const ApplyOutcome apply = ApplyClocks(applied.state, pair);
                        ASSERT_EQ(check.result, apply.result);
                        ASSERT_EQ(dryRun.result, apply.result);
                        EXPECT_EQ(dry, would);
                        std::vector<Access> writes;
                        for (int i = 0; i < would.count; ++i)
                            writes.push_back({Access::Write, kBase + would.plls[i].offset, would.plls[i].word});
                        ASSERT_EQ(applied.hw.Writes(), writes);
                    }
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
