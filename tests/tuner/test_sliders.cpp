// SPDX-License-Identifier: GPL-3.0-or-later
// Slider moves change only the window's clocks; on the RIVA 128 family they move together.
#include "tests/tuner/tuner_rig.h"

namespace tarvento::testing {
namespace {

using Sliders = TunerRig;

TEST_F(Sliders, LinkedSlidersFollowEachOtherEitherWay) {
    InsertRiva128(WordReading(Riva128ClockFromPll, 100));
    StartAndAccept();

    Drag(kIdMemTrackbar, 117);
    EXPECT_EQ(Current(), (ClockPair{117, 117}));
    EXPECT_EQ(controls.TrackbarState(kIdChipTrackbar).position, 117);
    EXPECT_EQ(controls.Text(kIdMemClockText), "117");
    EXPECT_EQ(controls.Text(kIdChipClockText), "117");

    Drag(kIdChipTrackbar, 95);
    EXPECT_EQ(Current(), (ClockPair{95, 95}));
    EXPECT_EQ(controls.TrackbarState(kIdMemTrackbar).position, 95);
    EXPECT_EQ(controls.Text(kIdMemClockText), "95");
    EXPECT_EQ(controls.Text(kIdChipClockText), "95");

    EXPECT_TRUE(hw.Writes().empty());
    EXPECT_TRUE(controls.Messages().empty());
    EXPECT_EQ(Saved(), (ClockPair{100, 100}));
}

TEST_F(Sliders, MovingFromOutsideTheLimitsTakesTheThumbsValueForBothClocks) {
    InsertRiva128(kWordN150);  // 89 MHz, below the sliders' 90
    StartAndAccept();

    // The thumb stands at 90; a move that leaves it there still replaces the 89.
    Drag(kIdChipTrackbar, 80);
    EXPECT_EQ(Current(), (ClockPair{90, 90}));
    EXPECT_EQ(controls.Text(kIdMemClockText), "90");
    EXPECT_EQ(Saved(), (ClockPair{89, 89}));
}

TEST_F(Sliders, TntSlidersAreIndependentAndClampedToTheirOwnLimits) {
    InsertTnt();  // 89 / 90
    StartAndAccept();

    Drag(kIdMemTrackbar, 140);
    EXPECT_EQ(Current(), (ClockPair{140, 90}));
    EXPECT_EQ(controls.TrackbarState(kIdChipTrackbar).position, 90);
    EXPECT_EQ(controls.Text(kIdChipClockText), "90");

    Drag(kIdChipTrackbar, 140);  // the core slider ends at 130
    EXPECT_EQ(Current(), (ClockPair{140, 130}));
    EXPECT_EQ(controls.Text(kIdChipClockText), "130");
    EXPECT_EQ(controls.Text(kIdMemClockText), "140");
    EXPECT_TRUE(hw.Writes().empty());
}

TEST_F(Sliders, ScrollsFromOtherControlsChangeNothing) {
    InsertRiva128(WordReading(Riva128ClockFromPll, 100));
    StartAndAccept();

    controls.UserMovesTrackbar(kIdMemTrackbar, 120);  // moved, but the notice names another id
    dialog->OnHScroll(kIdPanic);
    dialog->OnHScroll(0);

    EXPECT_EQ(Current(), (ClockPair{100, 100}));
    EXPECT_TRUE(controls.Log().empty());
}

}  // namespace
}  // namespace tarvento::testing
