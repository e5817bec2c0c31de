// SPDX-License-Identifier: GPL-3.0-or-later
// Panic !: back to the clocks read at start, and success claimed only when it was written.
#include "tests/tuner/tuner_rig.h"
#include "texts/user_texts.h"

namespace tarvento::testing {
namespace {

using Panic = TunerRig;

TEST_F(Panic, RightAfterStartSaysDontPanicAndTouchesNothing) {
    InsertTnt();
    StartAndAccept();

    dialog->RestoreClocks();

    const auto messages = controls.EventsOf(Event::Message);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text, "Don\u00b4t Panic !");
    EXPECT_EQ(messages[0].value, 0) << "OK only";
    EXPECT_TRUE(hw.Log().empty());
    EXPECT_EQ(controls.Log().size(), 1u) << "no control changed";
}

TEST_F(Panic, RestoresTheStartClocksAfterSetClockNowWithoutAWarning) {
    InsertTnt();  // 89 / 90
    StartAndAccept();
    Drag(kIdMemTrackbar, 100);
    Drag(kIdChipTrackbar, 100);
    dialog->SetClockNow();
    controls.ClearLog();
    hw.ClearLog();

    dialog->RestoreClocks();

    EXPECT_EQ(controls.Messages(), std::vector<std::string>{kMsgRestored});
    // The select word first; then the memory PLL, as Set Clock now writes them; each
    // read, then written back with its start-up N.
    EXPECT_EQ(hw.Log(), (std::vector<Access>{{Access::Read, kPllSelect, kPllSelectTntDriver},
                                             {Access::Read, kMemPll, kTntMemAt100},
                                             Write(kMemPll, kWordN150),
                                             {Access::Read, kCorePll, kTntCoreAt100},
                                             Write(kCorePll, kWordN150)}));
    EXPECT_EQ(Current(), (ClockPair{89, 90}));
    EXPECT_EQ(controls.TrackbarState(kIdMemTrackbar).position, 89);
    EXPECT_EQ(controls.TrackbarState(kIdChipTrackbar).position, 90);
    EXPECT_EQ(controls.Text(kIdMemClockText), "89");
    EXPECT_EQ(controls.Text(kIdChipClockText), "90");

    // Back where it started: a second Panic ! has nothing to do.
    controls.ClearLog();
    hw.ClearLog();
    dialog->RestoreClocks();
    EXPECT_EQ(controls.Messages(), std::vector<std::string>{kMsgDontPanic});
    EXPECT_TRUE(hw.Writes().empty());
}

// Words whose clock, set again through the formulas, gives another word: Panic ! must
// still leave the card exactly as it started.
class PanicWords : public TunerRig {
protected:
    void ExpectStartWordsBack(uint32_t memWord) {
        StartAndAccept();
        const ClockPair start = Current();
        Drag(kIdMemTrackbar, 120);
        dialog->SetClockNow();
        ASSERT_NE(hw.Register(kMemPll), memWord);

        dialog->RestoreClocks();

        EXPECT_EQ(hw.Register(kMemPll), memWord);
        EXPECT_EQ(Current(), start) << "the window returns to the clocks it read";
        EXPECT_EQ(controls.Messages(), (std::vector<std::string>{kWarningText, kMsgRestored}));
    }
};

TEST_F(PanicWords, AStockRiva128ReadAs100MhzGetsN168Back) {
    InsertRiva128(0x0001A80C);
    ExpectStartWordsBack(0x0001A80C);
    EXPECT_EQ(hw.CountAccesses(Access::Write, kCorePll), 0);
}

TEST_F(PanicWords, ATntMemoryPllIsNotLeftOneStepFaster) {
    InsertTnt(0x0001EB0C, kWordN150);
    ExpectStartWordsBack(0x0001EB0C);
    EXPECT_EQ(hw.Register(kCorePll), kWordN150);
}

TEST_F(Panic, RestoresAClockReadOutsideTheSliderLimits) {
    InsertRiva128(kWordN150);  // 89 MHz
    StartAndAccept();
    Drag(kIdMemTrackbar, 120);

    dialog->RestoreClocks();

    EXPECT_EQ(hw.Writes(), (std::vector<Access>{Write(kMemPll, kWordN150)}));
    EXPECT_EQ(Current(), (ClockPair{89, 89}));
    EXPECT_EQ(controls.Text(kIdMemClockText), "89");
    EXPECT_EQ(controls.Text(kIdChipClockText), "89");
    EXPECT_EQ(controls.TrackbarState(kIdMemTrackbar).position, 90);
    EXPECT_EQ(controls.Messages(), std::vector<std::string>{kMsgRestored});
}

TEST_F(Panic, ARestoreIsNeverOutOfRange) {
    InsertRiva128(kWordN150);
    StartAndAccept();
    Drag(kIdMemTrackbar, 110);
    dialog->SetClockNow();
    // Something reprogrammed the post divider meanwhile: 89 MHz set through the formulas
    // would now need N > 255. The start-up N goes back all the same.
    hw.SetRegister(kMemPll, PllWithN(0x0003000C, PllN(hw.Register(kMemPll))));
    controls.ClearLog();
    hw.ClearLog();

    dialog->RestoreClocks();

    EXPECT_EQ(controls.Messages(), std::vector<std::string>{kMsgRestored});
    EXPECT_EQ(hw.Writes(), (std::vector<Access>{Write(kMemPll, 0x0003960C)}));
    EXPECT_EQ(Current(), (ClockPair{89, 89}));
    EXPECT_EQ(controls.Text(kIdMemClockText), "89");
}

TEST_F(Panic, UnreachableChipIsNotReportedAsASuccess) {
    InsertTnt();
    StartAndAccept();
    Drag(kIdMemTrackbar, 110);
    Drag(kIdChipTrackbar, 110);
    dialog->SetClockNow();
    hw.FailRegister(kCorePll);
    controls.ClearLog();
    hw.ClearLog();

    dialog->RestoreClocks();

    EXPECT_EQ(controls.Messages(), std::vector<std::string>{kMsgPciAccessFailed});
    EXPECT_EQ(hw.Writes(), (std::vector<Access>{Write(kMemPll, kWordN150)}))
        << "the register that answers is still restored";
    EXPECT_EQ(Current(), (ClockPair{89, 90})) << "the window shows the start clocks as after any restore";
}

}  // namespace
}  // namespace tarvento::testing
