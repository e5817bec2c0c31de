// SPDX-License-Identifier: GPL-3.0-or-later
// Interactive starts with arguments: the checks after the warning, and the clocks the
// arguments leave behind in the window.
#include "tests/tuner/tuner_rig.h"
#include "texts/user_texts.h"

namespace tarvento::testing {
namespace {

using StartArguments = TunerRig;

TEST_F(StartArguments, AnotherChipsNameIsReportedAfterTheWarning) {
    InsertTnt();

    Start("RIVA_128 100 110");

    EXPECT_EQ(controls.Messages(), (std::vector<std::string>{kWarningText, kMsgWrongChipset}));
    EXPECT_EQ(controls.EventsOf(Event::Message)[1].value, 0) << "OK only";
    EXPECT_TRUE(controls.EndDialogCodes().empty());
    EXPECT_TRUE(hw.Writes().empty());
    // The display shows the chip's clocks while the window holds the arguments'.
    EXPECT_EQ(controls.Text(kIdMemClockText), "89");
    EXPECT_EQ(controls.Text(kIdChipClockText), "90");
    EXPECT_EQ(Current(), (ClockPair{100, 110}));
    EXPECT_EQ(Saved(), (ClockPair{89, 90}));
}

// Below "wrong Chipset in ComandLine !", which card the start found, or that it found
// none: the name given may be a slip for the card there is.
enum class Machine { Tnt, Riva128Zx, TntAnsweringAllOnes, OtherMake, NoCard };

struct FoundCardCase {
    const char* name;
    Machine machine;
    const char* arguments;
    std::vector<std::string> messages;
    const char* foundCard;
};

const FoundCardCase kFoundCardCases[] = {
    {"Tnt", Machine::Tnt, "RIVA_128 100 110", {kWarningText, kMsgWrongChipset},
     "the card found is a RIVA_TNT (10DE:0020) at 0000:01:00.0"},
    {"Riva128ZxNameAlone", Machine::Riva128Zx, "RIVA_TNT", {kWarningText, kMsgWrongChipset},
     "the card found is a RIVA_128ZX (10DE:0019) at 0000:01:00.0"},
    {"TntAnsweringAllOnes", Machine::TntAnsweringAllOnes, "RIVA_TNT 100 100",
     {kMsgPciAccessFailed, kWarningText, kMsgWrongChipset, kMsgCommandLineError},
     "the card found is a RIVA_TNT (10DE:0020) at 0000:01:00.0, whose clocks could not be read"},
    {"OtherMake", Machine::OtherMake, "RIVA_TNT 100 100", {kWarningText, kMsgWrongChipset, kMsgCommandLineError},
     "the card found is 5333:8A22 at 0000:01:00.0, not a supported chip"},
    {"NoCard", Machine::NoCard, "RIVA_TNT 100 100",
     {kMsgPciAccessFailed, kWarningText, kMsgWrongChipset, kMsgCommandLineError}, "no display adapter was found"},
};

class FoundCard : public TunerRig, public ::testing::WithParamInterface<FoundCardCase> {};

TEST_P(FoundCard, IsNamedBelowTheWrongChipsName) {
    const FoundCardCase& c = GetParam();
    switch (c.machine) {
    case Machine::Tnt: InsertTnt(); break;
    case Machine::Riva128Zx: InsertRiva128(kWordN150, 0x0019); break;
    case Machine::TntAnsweringAllOnes:
        InsertTnt();
        hw.SetRegister(kCorePll, 0xFFFFFFFF);
        break;
    case Machine::OtherMake: InsertCard(0x5333, 0x8A22); break;
    case Machine::NoCard: hw.lastBus = 0; break;
    }

    Start(c.arguments);

    EXPECT_EQ(controls.Messages(), c.messages);
    // The box of the wrong name is the last that has words below it: a failed discovery or
    // read said its reason in a box before it.
    ASSERT_FALSE(controls.informativeTexts.empty());
    EXPECT_EQ(controls.informativeTexts.back(), c.foundCard);
    EXPECT_TRUE(hw.Writes().empty());
}

INSTANTIATE_TEST_SUITE_P(Machines, FoundCard, ::testing::ValuesIn(kFoundCardCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(StartArguments, AMatchingNameAloneKeepsTheChipsClocks) {
    InsertTnt();

    Start("RIVA_TNT");

    EXPECT_EQ(controls.Messages(), std::vector<std::string>{kWarningText});
    EXPECT_EQ(Current(), (ClockPair{89, 90}));
    EXPECT_FALSE(dialog->UnattendedStart());
}

TEST_F(StartArguments, CancelOnTheWarningStillReportsTheWrongNameBeforeTheWindowEnds) {
    InsertTnt();
    controls.answers = {MessageAnswer::Cancel};

    EXPECT_EQ(Start("RIVA_128ZX 100 100"), 1);

    std::vector<Event> said;
    for (const Event& e : controls.Log())
        if (e.kind == Event::Message || e.kind == Event::EndDialog) said.push_back(e);
    ASSERT_EQ(said.size(), 3u);
    EXPECT_EQ(said[0].text, kWarningText);
    EXPECT_EQ(said[1], (Event{Event::EndDialog, 0, "", kIdCancel, 0}));
    EXPECT_EQ(said[2].text, kMsgWrongChipset);
    EXPECT_TRUE(hw.Writes().empty());
}

TEST_F(StartArguments, ArgumentsLeftInTheWindowAreWhatSetClockNowApplies) {
    InsertTnt();
    StartAndAccept("RIVA_TNT 100");  // two fields: interactive, memory clock taken

    EXPECT_EQ(Current(), (ClockPair{100, 90}));
    EXPECT_EQ(controls.TrackbarState(kIdMemTrackbar).position, 89);

    dialog->SetClockNow();

    const auto coreN = TntChipN(90, kWordN150, kStrapSet);
    ASSERT_TRUE(coreN.has_value());
    EXPECT_EQ(hw.Writes(), (std::vector<Access>{Write(kMemPll, kTntMemAt100),
                                                Write(kCorePll, PllWithN(kWordN150, *coreN))}));
}

TEST_F(StartArguments, ArgumentsLeftInTheWindowAreAChangeForPanic) {
    InsertTnt();
    Start("RIVA_128 100 100");
    controls.ClearLog();
    hw.ClearLog();

    dialog->RestoreClocks();

    EXPECT_EQ(controls.Messages(), std::vector<std::string>{kMsgRestored});
    EXPECT_EQ(hw.Writes().size(), 2u);
    EXPECT_EQ(Current(), (ClockPair{89, 90}));
}

TEST_F(StartArguments, NoArgumentsAskNothingBeyondTheWarning) {
    InsertTnt();
    for (const char* arguments : {"", "   ", "\t"}) {
        SCOPED_TRACE(arguments);
        controls.ClearLog();
        Start(arguments);
        EXPECT_EQ(controls.Messages(), std::vector<std::string>{kWarningText});
    }
}

}  // namespace
}  // namespace tarvento::testing
