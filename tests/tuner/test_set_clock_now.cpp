// SPDX-License-Identifier: GPL-3.0-or-later
// Set Clock now: the warning first, then the window's clocks go to the chip.
#include "tests/tuner/tuner_rig.h"
#include "texts/user_texts.h"

namespace tarvento::testing {
namespace {

using SetClockNow = TunerRig;

TEST_F(SetClockNow, CancelOnTheWarningLeavesTheChipAlone) {
    InsertTnt();
    StartAndAccept();
    Drag(kIdMemTrackbar, 100);
    Drag(kIdChipTrackbar, 100);

    controls.answers = {MessageAnswer::Cancel};
    dialog->SetClockNow();

    EXPECT_EQ(controls.Messages(), std::vector<std::string>{kWarningText});
    EXPECT_EQ(controls.EventsOf(Event::Message)[0].value, 1) << "OK and Cancel";
    EXPECT_TRUE(hw.Log().empty()) << "not even a register read";
    EXPECT_TRUE(controls.EndDialogCodes().empty());
}

TEST_F(SetClockNow, OkWritesBothTntPllsMemoryFirst) {
    InsertTnt();
    StartAndAccept();
    Drag(kIdMemTrackbar, 100);
    Drag(kIdChipTrackbar, 100);

    dialog->SetClockNow();

    EXPECT_EQ(controls.Messages(), std::vector<std::string>{kWarningText});
    EXPECT_EQ(hw.Writes(), (std::vector<Access>{Write(kMemPll, kTntMemAt100),
                                                Write(kCorePll, kTntCoreAt100)}));
    // What was read at start stays the target of Panic !.
    EXPECT_EQ(Saved(), (ClockPair{89, 90}));
}

TEST_F(SetClockNow, Riva128WritesOnlyItsOneClock) {
    InsertRiva128(kWordN150);
    StartAndAccept();
    Drag(kIdMemTrackbar, 100);

    dialog->SetClockNow();

    EXPECT_EQ(hw.Writes(), (std::vector<Access>{Write(kMemPll, kRiva128At100)}));
    EXPECT_EQ(hw.CountAccesses(Access::Read, kCorePll), 0);
}

TEST_F(SetClockNow, RefusedClockIsReportedOnceAndTheOtherIsStillWritten) {
    InsertTnt();
    hw.SetRegister(kStrap, 0);  // uncorrected crystal: 145 MHz needs N = 257
    StartAndAccept();
    const int32_t core = Fields().chipClock;
    Drag(kIdMemTrackbar, 145);

    dialog->SetClockNow();

    EXPECT_EQ(controls.Messages(),
              (std::vector<std::string>{kWarningText, kMsgFrequencyOutOfRange}));
    const auto n = TntChipN(core, kWordN150, 0);
    ASSERT_TRUE(n.has_value());
    EXPECT_EQ(hw.Writes(), (std::vector<Access>{Write(kCorePll, PllWithN(kWordN150, *n))}));
    EXPECT_EQ(Current(), (ClockPair{145, core})) << "the window keeps the refused value";
}

}  // namespace
}  // namespace tarvento::testing
