// SPDX-License-Identifier: GPL-3.0-or-later
// Which chips are known, how their clocks are read at start, and how a pair is applied.
#include <gtest/gtest.h>

#include <cstdint>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "chip/clock_pair.h"
#include "chip/chip_state.h"
#include "chip/chip_table.h"
#include "chip/chip_recognition.h"
#include "chip/apply_clocks.h"
#include "chip/clock_restore.h"
#include "chip/registers.h"
#include "tests/support/card_constants.h"
#include "tests/support/fake_hardware.h"
#include "tests/support/unsupported_card.h"

namespace tarvento {
namespace {

using namespace testing;

using testing::FakeHardware;
using Result = ApplyOutcome::Result;
using Access = FakeHardware::Access;


TEST(ChipNames, CompareExactlyAndNeverMatchWhenUnset) {
    EXPECT_TRUE(ChipNameEquals(kRivaTntName, "RIVA_TNT"));
    EXPECT_FALSE(ChipNameEquals(kRivaTntName, "riva_tnt"));
    EXPECT_FALSE(ChipNameEquals(kRiva128Name, "RIVA_128ZX"));
    EXPECT_FALSE(ChipNameEquals(kRiva128ZxName, "RIVA_128"));
    EXPECT_FALSE(ChipNameEquals(kRivaTntName, "RIVA_TNT "));
    EXPECT_FALSE(ChipNameEquals(nullptr, "RIVA_TNT"));
    EXPECT_FALSE(ChipNameEquals(nullptr, ""));
    EXPECT_FALSE(ChipNameEquals(nullptr, nullptr));
    EXPECT_FALSE(ChipNameEquals(kRivaTntName, nullptr));
}

TEST(ChipProfiles, VendorAndDeviceSelectTheProfile) {
    struct Row {
        uint16_t vendor, device;
        const char* name;  // nullptr: not supported
    };
    const Row rows[] = {
        {0x10DE, 0x0018, "RIVA_128"},   {0x12D2, 0x0018, "RIVA_128"},
        {0x10DE, 0x0019, "RIVA_128ZX"}, {0x12D2, 0x0019, "RIVA_128ZX"},
        {0x10DE, 0x0020, "RIVA_TNT"},   {0x12D2, 0x0020, nullptr},
        {kUnsupportedCard.vendorId, kUnsupportedCard.deviceId, nullptr}, {0x1002, 0x0018, nullptr},
        {0x0000, 0x0000, nullptr},      {0xFFFF, 0xFFFF, nullptr},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(::testing::Message() << std::hex << r.vendor << ":" << r.device);
        const ChipProfile* p = FindChipProfile(r.vendor, r.device);
        if (r.name == nullptr) {
            EXPECT_EQ(p, nullptr);
        } else {
            ASSERT_NE(p, nullptr);
            EXPECT_STREQ(p->name, r.name);
        }
    }
}

TEST(ChipProfiles, SliderLimitsAndLinkMode) {
    const ChipProfile* riva128 = FindChipProfile(0x10DE, 0x0018);
    const ChipProfile* zx = FindChipProfile(0x10DE, 0x0019);
    const ChipProfile* tnt = FindChipProfile(0x10DE, 0x0020);
    ASSERT_TRUE(riva128 && zx && tnt);
    for (const ChipProfile* p : {riva128, zx}) {
        // One clock, on the memory PLL, drives memory and core.
        EXPECT_EQ(p->memoryClock, &kRiva128Clock);
        EXPECT_EQ(p->chipClock, nullptr);
        EXPECT_EQ(p->linkMode, LinkMode::Linked);
        EXPECT_EQ(p->memMin, 90);
        EXPECT_EQ(p->memMax, 130);
        EXPECT_EQ(p->chipMin, 90);
        EXPECT_EQ(p->chipMax, 130);
    }
    EXPECT_EQ(tnt->memoryClock, &kTntMemClock);
    EXPECT_EQ(tnt->chipClock, &kTntChipClock);
    EXPECT_EQ(tnt->linkMode, LinkMode::Independent);
    EXPECT_EQ(tnt->memMin, 80);
    EXPECT_EQ(tnt->memMax, 145);
    EXPECT_EQ(tnt->chipMin, 80);
    EXPECT_EQ(tnt->chipMax, 130);
    // The recognised name is the profile's own string, compared by content elsewhere.
    EXPECT_STREQ(kRiva128Name, riva128->name);
}

// Two rows may share a name only when they are one chip under other ids (a test build's
// emulated card is a RIVA TNT): the name selects the first of them, and must select the
// same limits, link and clocks.
bool SameChip(const ChipProfile& a, const ChipProfile& b) {
    return std::string(a.name) == b.name && a.memMin == b.memMin && a.memMax == b.memMax &&
           a.chipMin == b.chipMin && a.chipMax == b.chipMax && a.linkMode == b.linkMode &&
           a.memoryClock == b.memoryClock && a.chipClock == b.chipClock;
}

TEST(ChipProfiles, NamesAreFoundExactlyAndOnlyInTheTable) {
    for (const ChipProfile& p : ChipProfiles()) {
        SCOPED_TRACE(p.name);
        const ChipProfile* found = FindChipProfileByName(p.name);
        ASSERT_NE(found, nullptr);
        EXPECT_LE(found, &p) << "not the first row of that name";
        EXPECT_TRUE(SameChip(*found, p)) << "one name for two different chips";
    }
    EXPECT_EQ(FindChipProfileByName("riva_tnt"), nullptr);
    EXPECT_EQ(FindChipProfileByName("RIVA_TNT "), nullptr);
    EXPECT_EQ(FindChipProfileByName(""), nullptr);
    EXPECT_EQ(FindChipProfileByName(nullptr), nullptr);
}

// What a new row must satisfy for the rest of the program to work with it.
TEST(ChipProfiles, EveryRowIsUsable) {
    std::set<std::string> names;
    std::set<std::pair<uint16_t, uint16_t>> ids;
    for (const ChipProfile& p : ChipProfiles()) {
        SCOPED_TRACE(p.name);
        // The start arguments and the autostart entry carry the name as one token of at
        // most 11 characters; a longer or spaced name could never be asked for.
        const std::string name = p.name;
        EXPECT_FALSE(name.empty());
        EXPECT_LE(name.size(), 11u);
        EXPECT_EQ(name.find_first_of(" \t"), std::string::npos);
        EXPECT_TRUE(names.insert(name).second || SameChip(*FindChipProfileByName(p.name), p))
            << "name given twice, for another chip";
        EXPECT_NE(p.vendorIds[0], 0) << "the stock vendor id";
        for (const uint16_t vendor : p.vendorIds) {
            if (vendor == 0) continue;
            EXPECT_TRUE(ids.insert({vendor, p.deviceId}).second) << "ids given twice";
            EXPECT_EQ(FindChipProfile(vendor, p.deviceId), &p);
        }
        EXPECT_LE(p.memMin, p.memMax);
        EXPECT_LE(p.chipMin, p.chipMax);
        ASSERT_NE(p.memoryClock, nullptr);
        for (const ChipClock* clock : {p.memoryClock, p.chipClock}) {
            if (clock == nullptr) continue;
            EXPECT_TRUE(clock->read && clock->set && clock->fromPll);
            EXPECT_TRUE(clock->pllOffset == kMemPllOffset || clock->pllOffset == kCorePllOffset);
        }
    }
    EXPECT_EQ(SupportedPciIds().size(), ids.size());
}

class ChipProfilesOnMachine : public ::testing::Test {
protected:
    ChipProfilesOnMachine() {
        state.discovery.registerBase = kBase;
        // As a recognition leaves it; the tests that name a chip without one write here.
        state.recognizedAdapter = DisplayAdapter{0x10DE, 0x0020, kBase};
    }

    void Registers(uint32_t core, uint32_t mem, uint32_t strap) {
        hw.SetRegister(kCorePll, core);
        hw.SetRegister(kMemPll, mem);
        hw.SetRegister(kStrap, strap);
    }

    FakeHardware hw;
    ChipState state{hw};
};

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

}  // namespace
}  // namespace tarvento
