// SPDX-License-Identifier: GPL-3.0-or-later
// The start-up PLL coefficients read and put back: the card ends with the very words it
// had, whatever the set formulas would have made of the clocks in MHz. And the words kept
// across sleep, which go back exactly, only where the card holds others.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "chip/chip_table.h"
#include "chip/apply_clocks.h"
#include "chip/clock_formulas.h"
#include "chip/clock_restore.h"
#include "chip/registers.h"
#include "tests/chip/chip_on_machine.h"
#include "tests/support/card_constants.h"
#include "tests/support/fake_hardware.h"

namespace tarvento {
namespace {

using namespace testing;

using testing::FakeHardware;
using Access = FakeHardware::Access;

// The two kinds of chip: one clock on the memory PLL, or a memory and a core clock.
const ChipProfile& kTnt = *FindChipProfileByName("RIVA_TNT");
const ChipProfile& kRiva128 = *FindChipProfileByName("RIVA_128");

// A stock RIVA 128 memory PLL (N = 168) reads as 100 MHz; 100 MHz set again gives N = 167.
constexpr uint32_t kRiva128Stock = 0x0001A80C;
// A TNT memory PLL whose clock set again comes back one step faster.
constexpr uint32_t kTntMemFast = 0x0001EB0C;
constexpr uint32_t kTntCore = 0x0001960C;

Access Read(uint32_t address, uint32_t value) { return {Access::Read, address, value}; }
Access Write(uint32_t address, uint32_t value) { return {Access::Write, address, value}; }

class ClockRestore : public ::testing::Test {
protected:
    FakeHardware hw;
    void SetUp() override { hw.SetRegister(kStrap, kStrapSet); }
};

TEST_F(ClockRestore, TheSetFormulasDoNotGiveTheseWordsBack) {
    // Why Panic ! cannot go through MHz: both words move when their clock is set again.
    const int32_t riva = Riva128ClockFromPll(kRiva128Stock, kStrapSet);
    EXPECT_EQ(riva, 100);
    EXPECT_EQ(Riva128N(riva, kRiva128Stock, kStrapSet), 0xA7u);
    const int32_t tnt = TntMemClockFromPll(kTntMemFast, kStrapSet);
    EXPECT_EQ(TntMemN(tnt, kTntMemFast, kStrapSet), 0xECu);
}

TEST_F(ClockRestore, ATntGetsBothStartWordsBackMemoryFirst) {
    hw.SetRegister(kMemPll, kTntMemFast);
    hw.SetRegister(kCorePll, kTntCore);
    const auto start = ReadStartCoefficients(hw, kBase, kTnt);
    ASSERT_TRUE(start.has_value());
    EXPECT_EQ(hw.Log(), (std::vector<Access>{Read(kMemPll, kTntMemFast), Read(kCorePll, kTntCore)}))
        << "one read of each PLL, nothing else";

    ASSERT_EQ(SetChipClock(hw, kBase, kTntMemClock, 120), SetResult::Written);
    ASSERT_EQ(SetChipClock(hw, kBase, kTntChipClock, 110), SetResult::Written);
    const uint32_t memNow = hw.Register(kMemPll);
    const uint32_t coreNow = hw.Register(kCorePll);
    ASSERT_NE(memNow, kTntMemFast);
    ASSERT_NE(coreNow, kTntCore);
    hw.ClearLog();

    EXPECT_TRUE(RestoreStartCoefficients(hw, kBase, *start, kTnt.architecture).Applied());
    EXPECT_EQ(hw.Log(), (std::vector<Access>{Read(kPllSelect, kPllSelectTntDriver),
                                             Read(kMemPll, memNow), Write(kMemPll, kTntMemFast),
                                             Read(kCorePll, coreNow), Write(kCorePll, kTntCore)}));
    EXPECT_EQ(hw.Register(kMemPll), kTntMemFast);
    EXPECT_EQ(hw.Register(kCorePll), kTntCore);
}

TEST_F(ClockRestore, ARiva128GetsItsMemoryWordBackAndItsCorePllIsNeverTouched) {
    hw.SetRegister(kMemPll, kRiva128Stock);
    hw.SetRegister(kCorePll, 0x0001960C);
    const auto start = ReadStartCoefficients(hw, kBase, kRiva128);
    ASSERT_TRUE(start.has_value());
    ASSERT_EQ(SetChipClock(hw, kBase, kRiva128Clock, 120), SetResult::Written);
    ASSERT_EQ(SetChipClock(hw, kBase, kRiva128Clock, 100), SetResult::Written);
    ASSERT_EQ(hw.Register(kMemPll), 0x0001A70Cu) << "100 MHz set again is not the stock word";

    EXPECT_TRUE(RestoreStartCoefficients(hw, kBase, *start, kRiva128.architecture).Applied());
    EXPECT_EQ(hw.Register(kMemPll), kRiva128Stock);
    EXPECT_EQ(hw.CountAccesses(Access::Read, kCorePll) + hw.CountAccesses(Access::Write, kCorePll), 0);
}

TEST_F(ClockRestore, OnlyTheNByteIsPutBackTheOtherBitsStayAsTheCardHoldsThem) {
    hw.SetRegister(kMemPll, kRiva128Stock);
    const auto start = ReadStartCoefficients(hw, kBase, kRiva128);
    ASSERT_TRUE(start.has_value());
    // Something else changed M, P and the high bits meanwhile.
    hw.SetRegister(kMemPll, 0xABC3200D);

    EXPECT_TRUE(RestoreStartCoefficients(hw, kBase, *start, kRiva128.architecture).Applied());
    EXPECT_EQ(hw.Register(kMemPll), 0xABC3A80Du);
}

TEST_F(ClockRestore, NothingIsCapturedFromARegisterThatCannotBeReadOrDoesNotAnswer) {
    hw.SetRegister(kMemPll, kTntMemFast);
    hw.SetRegister(kCorePll, 0xFFFFFFFF);  // a card gone from the bus reads all ones
    EXPECT_FALSE(ReadStartCoefficients(hw, kBase, kTnt).has_value());

    hw.SetRegister(kCorePll, kTntCore);
    hw.FailRegister(kMemPll);
    EXPECT_FALSE(ReadStartCoefficients(hw, kBase, kTnt).has_value());
    EXPECT_FALSE(ReadStartCoefficients(hw, kBase, kRiva128).has_value());

    // A base whose PLL lies past 4 GiB reaches nothing.
    hw.ClearLog();
    EXPECT_FALSE(ReadStartCoefficients(hw, 0xFFF00000, kRiva128).has_value());
    EXPECT_TRUE(hw.Log().empty());
}

TEST_F(ClockRestore, AFailedRegisterIsReportedAndTheOtherIsStillRestored) {
    hw.SetRegister(kMemPll, kTntMemFast);
    hw.SetRegister(kCorePll, kTntCore);
    const auto start = ReadStartCoefficients(hw, kBase, kTnt);
    ASSERT_TRUE(start.has_value());
    hw.SetRegister(kMemPll, 0x0001C00C);
    hw.SetRegister(kCorePll, 0x0001C00C);

    hw.FailRegister(kMemPll);
    hw.ClearLog();
    EXPECT_EQ(RestoreStartCoefficients(hw, kBase, *start, kTnt.architecture).result,
              ApplyOutcome::Result::AccessFailed);
    EXPECT_EQ(hw.Writes(), (std::vector<Access>{Write(kCorePll, kTntCore)}))
        << "no write into a register that could not be read";

    // A card that stopped answering gets no word made of all ones.
    FakeHardware gone;
    gone.SetRegister(kMemPll, 0xFFFFFFFF);
    gone.SetRegister(kCorePll, kTntCore);
    const ApplyOutcome outcome = RestoreStartCoefficients(gone, kBase, *start, kTnt.architecture);
    EXPECT_EQ(outcome.result, ApplyOutcome::Result::AccessFailed);
    EXPECT_EQ(outcome.reason.kind, AccessFailure::Kind::NoAnswer);
    EXPECT_EQ(gone.Writes(), (std::vector<Access>{Write(kCorePll, kTntCore)}));
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
        EXPECT_TRUE(WritePllWords(card.hw, kBase, *saved, c.profile->architecture, &written).Applied());
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
        const ApplyOutcome outcome = WritePllWords(card.hw, kBase, *saved, tnt.architecture);
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
    EXPECT_EQ(WritePllWords(silent.hw, kBase, *saved, tnt.architecture).result, ApplyOutcome::Result::AccessFailed);
    EXPECT_TRUE(silent.hw.Writes().empty());
}


// Every writer that asks the select word tells a refusal the same way: with the chip's
// architecture, which says what sets the bits on it, and with an all-ones select word
// told apart from a card that stopped answering as a whole. Nothing is written.
TEST(PllSelectRefusal, EveryWriterNamesTheChipsArchitectureAndAnAllOnesSelectWord) {
    using Kind = AccessFailure::Kind;
    enum class Writer { Apply, Restore, SavedWords };
    struct Case {
        const char* chip;
        uint32_t select;
        bool cardSilent;  // the PLLs and the strap read all ones too
        Kind kind;
    };
    const Case cases[] = {
        {kRivaTntName, 0x00000000, false, Kind::PllNotProgrammed},
        {kRiva128Name, 0x00000000, false, Kind::PllNotProgrammed},
        {kRiva128ZxName, 0x00000400, false, Kind::PllNotProgrammed},
        {kRivaTntName, 0xFFFFFFFF, false, Kind::PllSelectNoAnswer},
        {kRiva128Name, 0xFFFFFFFF, false, Kind::PllSelectNoAnswer},
        {kRivaTntName, 0xFFFFFFFF, true, Kind::NoAnswer},
        {kRiva128Name, 0xFFFFFFFF, true, Kind::NoAnswer},
    };
    for (const Writer writer : {Writer::Apply, Writer::Restore, Writer::SavedWords}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.chip) + " writer " + std::to_string(static_cast<int>(writer)) +
                         " select " + std::to_string(c.select) + (c.cardSilent ? " silent" : ""));
            const ChipProfile& profile = *FindChipProfileByName(c.chip);
            FakeCard card(profile, kTntMemFast, kTntCore, kStrapSet);
            const auto start = ReadStartCoefficients(card.hw, kBase, profile);
            const auto words = ReadPllWords(card.hw, kBase, profile);
            ASSERT_TRUE(start && words);
            // The words a set left: each writer has something to put back.
            card.hw.SetRegister(kMemPll, 0x0001C00C);
            card.hw.SetRegister(kCorePll, 0x0001C00C);
            card.hw.SetRegister(kPllSelect, c.select);
            if (c.cardSilent)
                for (const uint32_t r : {kMemPll, kCorePll, kStrap}) card.hw.SetRegister(r, 0xFFFFFFFF);
            card.hw.ClearLog();
            const ApplyOutcome outcome =
                writer == Writer::Apply     ? ApplyClocks(card.state, ClockPair{100, 100})
                : writer == Writer::Restore ? RestoreStartCoefficients(card.hw, kBase, *start, profile.architecture)
                                            : WritePllWords(card.hw, kBase, *words, profile.architecture);
            EXPECT_EQ(outcome.result, ApplyOutcome::Result::AccessFailed);
            EXPECT_EQ(outcome.reason.kind, c.kind);
            if (c.kind == Kind::PllNotProgrammed) {
                EXPECT_EQ(outcome.reason.architecture, profile.architecture);
                EXPECT_NE(outcome.reason.bits, 0u);
            }
            EXPECT_TRUE(card.hw.Writes().empty());
        }
    }
}

}  // namespace
}  // namespace tarvento
