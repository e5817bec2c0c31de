// SPDX-License-Identifier: GPL-3.0-or-later
// The autostart check box: the entry records the window's clocks, and the entry it writes
// is exactly what an unattended start takes.
#include "tests/tuner/tuner_rig.h"
#include "texts/user_texts.h"

namespace tarvento::testing {
namespace {

using AutostartClick = TunerRig;

TEST_F(AutostartClick, OnRecordsTheSliderClocksAndOffRemovesTheEntry) {
    InsertTnt();
    StartAndAccept();
    Drag(kIdMemTrackbar, 120);
    Drag(kIdChipTrackbar, 110);

    controls.UserTogglesCheck(kIdAutostartCheck);
    dialog->OnAutostartClicked();

    EXPECT_EQ(store.StoredEntry(), std::string(kProgramPath) + " RIVA_TNT 120 110");
    EXPECT_EQ(controls.Text(kIdAutoMemText), "120");
    EXPECT_EQ(controls.Text(kIdAutoChipText), "110");
    EXPECT_EQ(Fields().autostartOn, 1);
    EXPECT_TRUE(controls.Messages().empty());
    EXPECT_TRUE(hw.Writes().empty()) << "the entry is written, not the clocks";

    controls.UserTogglesCheck(kIdAutostartCheck);
    dialog->OnAutostartClicked();

    EXPECT_EQ(store.StoredEntry(), std::nullopt);
    EXPECT_EQ(controls.Text(kIdAutoMemText), "---");
    EXPECT_EQ(controls.Text(kIdAutoChipText), "---");
    EXPECT_EQ(Fields().autostartOn, 0);
}

TEST_F(AutostartClick, TheWrittenEntryStartsTheProgramUnattended) {
    InsertTnt();
    StartAndAccept();
    Drag(kIdMemTrackbar, 100);
    Drag(kIdChipTrackbar, 100);
    controls.UserTogglesCheck(kIdAutostartCheck);
    dialog->OnAutostartClicked();
    const auto entry = store.StoredEntry();
    ASSERT_TRUE(entry.has_value());
    const std::string prefix = std::string(kProgramPath) + " ";
    ASSERT_TRUE(entry->starts_with(prefix));

    // The next login: the same machine, the entry's tail as the arguments.
    controls.ClearLog();
    hw.ClearLog();
    Start(entry->substr(prefix.size()));

    EXPECT_TRUE(dialog->UnattendedStartSucceeded());
    EXPECT_EQ(hw.Writes(), (std::vector<Access>{Write(kMemPll, kTntMemAt100),
                                                Write(kCorePll, kTntCoreAt100)}));
    // The stored entry is this program's, so the window would show autostart on.
    EXPECT_EQ(controls.Check(kIdAutostartCheck), 1);
}

// A change that could not be saved leaves the window showing what is stored, on or off.
TEST_F(AutostartClick, AFailedChangeShowsWhatIsStored) {
    InsertTnt();
    store.Put(std::string(kProgramPath) + " RIVA_TNT 100 95");
    StartAndAccept();
    ASSERT_EQ(controls.Check(kIdAutostartCheck), 1);
    Drag(kIdMemTrackbar, 120);

    // On with new clocks, refused: the old entry and its clocks stay in view.
    store.failSet = true;
    controls.UserTogglesCheck(kIdAutostartCheck);  // off: would succeed, so turn it back on
    controls.UserTogglesCheck(kIdAutostartCheck);
    dialog->OnAutostartClicked();
    EXPECT_EQ(controls.Messages(), std::vector<std::string>{kMsgAutostartAccessFailed});
    EXPECT_EQ(controls.Text(kIdAutoMemText), "100");
    EXPECT_EQ(controls.Text(kIdAutoChipText), "95");
    EXPECT_EQ(store.StoredEntry(), std::string(kProgramPath) + " RIVA_TNT 100 95");

    // Off, refused: the entry still starts, so the box stays ticked.
    controls.ClearLog();
    store.failDelete = true;
    controls.UserTogglesCheck(kIdAutostartCheck);
    dialog->OnAutostartClicked();
    EXPECT_EQ(controls.Messages(), std::vector<std::string>{kMsgAutostartAccessFailed});
    EXPECT_EQ(controls.Check(kIdAutostartCheck), 1);
    EXPECT_EQ(Fields().autostartOn, 1);
    EXPECT_EQ(controls.Text(kIdAutoMemText), "100");

    // On, refused, with nothing stored: the box is not left claiming an entry.
    store = RecordingAutostartStore{};
    store.failSet = true;
    controls.ClearLog();
    controls.UserTogglesCheck(kIdAutostartCheck);  // 1 -> 0
    store.failSet = false;
    dialog->OnAutostartClicked();                  // off succeeds
    store.failSet = true;
    controls.UserTogglesCheck(kIdAutostartCheck);  // 0 -> 1
    dialog->OnAutostartClicked();
    EXPECT_EQ(controls.Messages(), std::vector<std::string>{kMsgAutostartAccessFailed});
    EXPECT_EQ(controls.Check(kIdAutostartCheck), 0);
    EXPECT_EQ(Fields().autostartOn, 0);
    EXPECT_EQ(controls.Text(kIdAutoMemText), "---");
    EXPECT_EQ(controls.Text(kIdAutoChipText), "---");
    EXPECT_TRUE(hw.Writes().empty());
}

}  // namespace
}  // namespace tarvento::testing
