// SPDX-License-Identifier: GPL-3.0-or-later
// No recognised chip: the window says so, offers nothing that acts on a chip, and its
// handlers touch neither registers nor the autostart entry if reached anyway.
#include "tests/support/unsupported_card.h"
#include "tests/tuner/tuner_rig.h"
#include "texts/user_texts.h"

namespace tarvento::testing {
namespace {

using NoChip = TunerRig;

void ExpectNothingToActOn(const FakeDialogControls& controls) {
    EXPECT_EQ(controls.Text(kIdChipsetText), "Unknown");
    EXPECT_EQ(controls.Text(kIdMemClockText), "---");
    EXPECT_EQ(controls.Text(kIdChipClockText), "---");
    for (int id : {kIdMemTrackbar, kIdChipTrackbar}) {
        const auto t = controls.TrackbarState(id);
        EXPECT_EQ(t.minimum, 0);
        EXPECT_EQ(t.maximum, 0);
        EXPECT_EQ(t.position, 0);
    }
    for (int id : {kIdMemTrackbar, kIdChipTrackbar, kIdSetClockNow, kIdPanic, kIdAutostartCheck})
        EXPECT_FALSE(controls.Enabled(id)) << "control " << id;
    EXPECT_TRUE(controls.Enabled(kIdCancel));
}

TEST_F(NoChip, NoGraphicsCardIsReportedAndTheWindowOffersNothing) {
    hw.lastBus = 0;

    EXPECT_EQ(Start(), 1);

    EXPECT_EQ(controls.Messages(), (std::vector<std::string>{kMsgPciAccessFailed, kWarningText}));
    ExpectNothingToActOn(controls);
    EXPECT_FALSE(dialog->ChipRecognized());
    EXPECT_EQ(Current(), (ClockPair{0, 0}));
    EXPECT_EQ(Saved(), (ClockPair{0, 0}));
    EXPECT_EQ(Fields().linkMode, 0);
    EXPECT_EQ(hw.CountAccesses(Access::Read, kMemPll) + hw.CountAccesses(Access::Read, kCorePll), 0);
}

TEST_F(NoChip, UnsupportedCardIsSilentlyUnknown) {
    InsertCard(0x12D2, 0x0020);  // a TNT's device id is a TNT only under 10DEh

    Start();

    EXPECT_EQ(controls.Messages(), std::vector<std::string>{kWarningText});
    ExpectNothingToActOn(controls);
    EXPECT_TRUE(hw.Writes().empty());
}

TEST_F(NoChip, UnreadableClockRegisterIsReportedOnce) {
    InsertTnt();
    hw.FailRegister(kMemPll);

    Start();

    EXPECT_EQ(controls.Messages(), (std::vector<std::string>{kMsgPciAccessFailed, kWarningText}));
    ExpectNothingToActOn(controls);
    EXPECT_EQ(chip.currentChipName, nullptr);
    EXPECT_TRUE(hw.Writes().empty());
}

TEST_F(NoChip, HandlersReachedAnywayTouchNothing) {
    InsertCard(kUnsupportedCard.vendorId, kUnsupportedCard.deviceId);
    store.Put("/usr/bin/other-tarvento RIVA_TNT 110 100");
    StartAndAccept();
    ASSERT_EQ(controls.Check(kIdAutostartCheck), 0);
    ASSERT_FALSE(controls.Enabled(kIdAutostartCheck));

    dialog->SetClockNow();
    dialog->RestoreClocks();
    controls.UserMovesTrackbar(kIdMemTrackbar, 5);
    dialog->OnHScroll(kIdMemTrackbar);
    controls.UserTogglesCheck(kIdAutostartCheck);
    dialog->OnAutostartClicked();

    EXPECT_TRUE(controls.Messages().empty());
    EXPECT_TRUE(hw.Log().empty()) << "no configuration or register access";
    EXPECT_TRUE(store.Changes().empty());
    EXPECT_EQ(store.StoredEntry(), "/usr/bin/other-tarvento RIVA_TNT 110 100");
    EXPECT_EQ(controls.Check(kIdAutostartCheck), 0) << "the check box goes back";
    EXPECT_FALSE(controls.Enabled(kIdAutostartCheck));
    EXPECT_EQ(controls.Text(kIdMemClockText), "---");
    EXPECT_EQ(Current(), (ClockPair{0, 0}));
}

// The card was taken out, but the entry still starts this program at every login: the
// check box stays usable for taking it away, and only for that.
TEST_F(NoChip, OwnEntryCanBeTurnedOffAndThenTheCheckBoxRests) {
    for (const bool noCard : {true, false}) {
        SCOPED_TRACE(noCard ? "no card" : "unknown card");
        hw = FakeHardware{};
        store = RecordingAutostartStore{};
        controls = FakeDialogControls{};
        if (noCard) {
            hw.lastBus = 0;
        } else {
            InsertCard(kUnsupportedCard.vendorId, kUnsupportedCard.deviceId);
        }
        store.Put(std::string(kProgramPath) + " RIVA_TNT 110 100");
        Start();
        ASSERT_EQ(controls.Check(kIdAutostartCheck), 1);
        EXPECT_TRUE(controls.Enabled(kIdAutostartCheck));
        EXPECT_EQ(controls.Text(kIdAutoMemText), "110");
        controls.ClearLog();
        hw.ClearLog();

        controls.UserTogglesCheck(kIdAutostartCheck);
        dialog->OnAutostartClicked();

        EXPECT_EQ(store.StoredEntry(), std::nullopt);
        EXPECT_EQ(controls.Check(kIdAutostartCheck), 0);
        EXPECT_EQ(controls.Text(kIdAutoMemText), "---");
        EXPECT_FALSE(controls.Enabled(kIdAutostartCheck)) << "nothing left to turn off";
        EXPECT_TRUE(controls.Messages().empty());
        EXPECT_TRUE(hw.Log().empty()) << "no register is touched";
        for (int id : {kIdMemTrackbar, kIdChipTrackbar, kIdSetClockNow, kIdPanic})
            EXPECT_FALSE(controls.Enabled(id)) << "control " << id;
    }
}

TEST_F(NoChip, OwnEntryThatCannotBeRemovedKeepsTheCheckBoxUsable) {
    hw.lastBus = 0;
    store.Put(std::string(kProgramPath) + " RIVA_TNT 110 100");
    store.failDelete = true;
    Start();
    controls.ClearLog();

    controls.UserTogglesCheck(kIdAutostartCheck);
    dialog->OnAutostartClicked();

    EXPECT_EQ(controls.Messages(), std::vector<std::string>{kMsgAutostartAccessFailed});
    EXPECT_EQ(controls.Check(kIdAutostartCheck), 1);
    EXPECT_EQ(controls.Text(kIdAutoMemText), "110");
    EXPECT_TRUE(controls.Enabled(kIdAutostartCheck));
}

TEST_F(NoChip, ArgumentsThatCannotBeAppliedAreReported) {
    hw.lastBus = 0;

    Start("RIVA_TNT 100 100");

    EXPECT_EQ(controls.Messages(),
              (std::vector<std::string>{kMsgPciAccessFailed, kWarningText, kMsgWrongChipset,
                                        kMsgCommandLineError}));
    EXPECT_FALSE(dialog->UnattendedStart());
    EXPECT_TRUE(controls.NoticeRuns().empty());
    EXPECT_TRUE(hw.Writes().empty());
}

TEST_F(NoChip, NoArgumentsNoCommandLineError) {
    InsertCard(kUnsupportedCard.vendorId, kUnsupportedCard.deviceId);

    Start(" ");

    EXPECT_EQ(controls.Messages(), std::vector<std::string>{kWarningText});
}

}  // namespace
}  // namespace tarvento::testing
