// SPDX-License-Identifier: GPL-3.0-or-later
// What keeps clocks without a window: the check made before boot clocks are stored must
// say what the apply would do, and the words kept across sleep go back exactly, only where
// the card holds others.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "chip/clock_pair.h"
#include "chip/chip_state.h"
#include "chip/chip_table.h"
#include "chip/chip_recognition.h"
#include "chip/apply_clocks.h"
#include "chip/clock_restore.h"
#include "tests/support/card_constants.h"
#include "tests/support/fake_hardware.h"

namespace tarvento {
namespace {

using testing::FakeHardware;
using namespace testing;

// A recognised chip of the given profile on a fake machine, its PLLs at the given words.
struct FakeCard {
    FakeHardware hw;
    ChipState state{hw};
    FakeCard(const ChipProfile& profile, uint32_t memWord, uint32_t coreWord, uint32_t strap) {
        hw.lastBus = 1;
        hw.AddFunction(1, 0, 0, profile.vendorIds[0], profile.deviceId, 0x0300, kBase);
        hw.SetRegister(kMemPll, memWord);
        hw.SetRegister(kCorePll, coreWord);
        hw.SetRegister(kStrap, strap);
        DisplayAdapter adapter;
        EXPECT_TRUE(FindDisplayAdapter(hw, state.discovery, adapter));
        RecognizedChip recognized;
        EXPECT_EQ(RecognizeChip(state, adapter.vendorId, adapter.deviceId, recognized),
                  Recognition::Recognized);
    }
};

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

TEST(PllWordsKept, PlausibleWordsAreWhatASetRoutineCanLeave) {
    struct Case {
        uint32_t word;
        bool plausible;
    };
    const Case cases[] = {{0x0001960C, true},  {0x000FFF01, true},  {0x00000001, true},
                          {0x00019600, false}, {0x0011960C, false}, {0x8001960C, false},
                          {0xFFFFFFFF, false}, {0x00000000, false}};
    for (const Case& c : cases) EXPECT_EQ(PlausiblePllWord(c.word), c.plausible) << std::hex << c.word;
}

TEST(PllWordsKept, GoBackExactlyAndOnlyWhereTheCardHoldsOthers) {
    const ChipProfile& tnt = *FindChipProfileByName("RIVA_TNT");
    const ChipProfile& riva = *FindChipProfileByName("RIVA_128");
    struct Case {
        const ChipProfile* profile;
        uint32_t savedMem, savedCore;  // before sleep
        uint32_t nowMem, nowCore;      // after resume
        std::vector<FakeHardware::Access> writes;
    };
    using A = FakeHardware::Access;
    const Case cases[] = {
        // Nothing changed: nothing is written.
        {&tnt, 0x0001C90C, 0x0001A70C, 0x0001C90C, 0x0001A70C, {}},
        // The firmware's words came back: both go back, memory first, whole words.
        {&tnt, 0x0001C90C, 0x0001A70C, 0x0001B80C, 0x0001960C,
         {{A::Write, kMemPll, 0x0001C90C}, {A::Write, kCorePll, 0x0001A70C}}},
        // Only the core PLL moved: only it is written, with its M and P too.
        {&tnt, 0x0001C90C, 0x0001A70C, 0x0001C90C, 0x0002A70B, {{A::Write, kCorePll, 0x0001A70C}}},
        // A RIVA 128 keeps one PLL; its core PLL word is not the program's to write.
        {&riva, 0x0001A80C, 0x00001111, 0x0001960C, 0x00002222, {{A::Write, kMemPll, 0x0001A80C}}},
    };
    for (const Case& c : cases) {
        FakeCard card(*c.profile, c.savedMem, c.savedCore, kStrapSet);
        const auto saved = ReadPllWords(card.hw, kBase, *c.profile);
        ASSERT_TRUE(saved.has_value());
        card.hw.SetRegister(kMemPll, c.nowMem);
        card.hw.SetRegister(kCorePll, c.nowCore);
        card.hw.ClearLog();
        int written = -1;
        EXPECT_TRUE(WritePllWords(card.hw, kBase, *saved, &written).Applied());
        EXPECT_EQ(card.hw.Writes(), c.writes) << c.profile->name << std::hex << " " << c.nowMem;
        EXPECT_EQ(written, static_cast<int>(c.writes.size()));
    }
    // A card whose select word a reset cleared gets nothing written where a PLL that would
    // be written runs from the built-in clock; a PLL that keeps its word needs no bit.
    struct Select {
        uint32_t select;
        uint32_t nowCore;  // after resume; the memory PLL always lost its word
        bool writes;
    };
    for (const Select& c : {Select{0x00000000, 0x0001960C, false}, Select{0x00000100, 0x0001960C, false},
                            Select{0x00000400, 0x0001960C, false}, Select{0x00000100, 0x0001A70C, true},
                            Select{0x00000500, 0x0001960C, true}}) {
        FakeCard card(tnt, 0x0001C90C, 0x0001A70C, kStrapSet);
        const auto saved = ReadPllWords(card.hw, kBase, tnt);
        card.hw.SetRegister(kMemPll, 0x0001B80C);
        card.hw.SetRegister(kCorePll, c.nowCore);
        card.hw.SetRegister(kPllSelect, c.select);
        card.hw.ClearLog();
        const ApplyOutcome outcome = WritePllWords(card.hw, kBase, *saved);
        EXPECT_EQ(outcome.Applied(), c.writes) << std::hex << c.select;
        EXPECT_EQ(card.hw.Writes().empty(), !c.writes) << std::hex << c.select;
        EXPECT_EQ(card.hw.CountAccesses(FakeHardware::Access::Write, kPllSelect), 0);
        EXPECT_EQ(outcome.reason.kind, c.writes ? AccessFailure::Kind::None : AccessFailure::Kind::PllNotProgrammed);
    }
    // A card that answers all ones after resume is not written to.
    FakeCard silent(tnt, 0x0001C90C, 0x0001A70C, kStrapSet);
    const auto saved = ReadPllWords(silent.hw, kBase, tnt);
    silent.hw.SetRegister(kMemPll, 0xFFFFFFFF);
    silent.hw.SetRegister(kCorePll, 0xFFFFFFFF);
    silent.hw.ClearLog();
    EXPECT_EQ(WritePllWords(silent.hw, kBase, *saved).result, ApplyOutcome::Result::AccessFailed);
    EXPECT_TRUE(silent.hw.Writes().empty());
}

}  // namespace
}  // namespace tarvento
