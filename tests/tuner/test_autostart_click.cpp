// The autostart check box: the entry records the window's clocks, and the entry it writes
// is exactly what an unattended start takes.
#include "tests/tuner/tuner_rig.h"

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

    EXPECT_EQ(store.RunValue(), std::string(kProgramPath) + " RIVA_TNT 120 110");
    EXPECT_EQ(controls.Text(kIdAutoMemText), "120");
    EXPECT_EQ(controls.Text(kIdAutoChipText), "110");
    EXPECT_EQ(Fields().m_autostartOn, 1);
    EXPECT_TRUE(controls.Messages().empty());
    EXPECT_TRUE(hw.Writes().empty()) << "the entry is written, not the clocks";

    controls.UserTogglesCheck(kIdAutostartCheck);
    dialog->OnAutostartClicked();

    EXPECT_EQ(store.RunValue(), std::nullopt);
    EXPECT_EQ(controls.Text(kIdAutoMemText), "---");
    EXPECT_EQ(controls.Text(kIdAutoChipText), "---");
    EXPECT_EQ(Fields().m_autostartOn, 0);
}

TEST_F(AutostartClick, TheWrittenEntryStartsTheProgramUnattended) {
    InsertTnt();
    StartAndAccept();
    Drag(kIdMemTrackbar, 100);
    Drag(kIdChipTrackbar, 100);
    controls.UserTogglesCheck(kIdAutostartCheck);
    dialog->OnAutostartClicked();
    const auto entry = store.RunValue();
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

}  // namespace
}  // namespace tarvento::testing
