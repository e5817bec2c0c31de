// Panic !: back to the clocks read at start, and success claimed only when it was written.
#include "tests/tuner/tuner_rig.h"

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
    const auto memN = TntMemN(89, kWordN150, kStrapSet);
    const auto coreN = TntChipN(90, kWordN150, kStrapSet);
    ASSERT_TRUE(memN && coreN);
    EXPECT_EQ(hw.Writes(), (std::vector<Access>{Write(kMemPll, PllWithN(kTntMemAt100, *memN)),
                                                Write(kCorePll, PllWithN(kTntCoreAt100, *coreN))}));
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

TEST_F(Panic, RestoresAClockReadOutsideTheSliderLimits) {
    InsertRiva128(kWordN150);  // 89 MHz
    StartAndAccept();
    Drag(kIdMemTrackbar, 120);

    dialog->RestoreClocks();

    const auto n = Riva128N(89, kWordN150, kStrapSet);
    ASSERT_TRUE(n.has_value());
    EXPECT_EQ(hw.Writes(), (std::vector<Access>{Write(kMemPll, PllWithN(kWordN150, *n))}));
    EXPECT_EQ(Current(), (ClockPair{89, 89}));
    EXPECT_EQ(controls.Text(kIdMemClockText), "89");
    EXPECT_EQ(controls.Text(kIdChipClockText), "89");
    EXPECT_EQ(controls.TrackbarState(kIdMemTrackbar).position, 90);
    EXPECT_EQ(controls.Messages(), std::vector<std::string>{kMsgRestored});
}

TEST_F(Panic, RefusedRestoreIsNotReportedAsASuccess) {
    InsertRiva128(kWordN150);
    StartAndAccept();
    Drag(kIdMemTrackbar, 110);
    // Something reprogrammed the post divider meanwhile: 89 MHz now needs N > 255.
    hw.SetRegister(kMemPll, 0x0003960C);
    hw.ClearLog();

    dialog->RestoreClocks();

    EXPECT_EQ(controls.Messages(), std::vector<std::string>{kMsgFrequencyOutOfRange});
    EXPECT_TRUE(hw.Writes().empty());
    // The window still returns to the start values, as it does after any restore.
    EXPECT_EQ(Current(), (ClockPair{89, 89}));
    EXPECT_EQ(controls.Text(kIdMemClockText), "89");
}

TEST_F(Panic, UnreachableChipIsNotReportedAsASuccess) {
    InsertTnt();
    StartAndAccept();
    Drag(kIdChipTrackbar, 110);
    hw.FailRegister(kCorePll);

    dialog->RestoreClocks();

    EXPECT_EQ(controls.Messages(), std::vector<std::string>{kMsgPciAccessFailed});
}

}  // namespace
}  // namespace tarvento::testing
