// SPDX-License-Identifier: GPL-3.0-or-later
// Panic ! as a user without privileges runs it, on a virtual card whose register file
// that user may write (as the udev rule's group may on a real card): the card ends with
// the very words it started with.
#include <sys/stat.h>

#include <string>

#include <gtest/gtest.h>

#include "chip/chip_state.h"
#include "chip/registers.h"
#include "chip/sysfs_hardware.h"
#include "tests/robust/robust_support.h"
#include "tests/support/fake_dialog_controls.h"
#include "tests/support/recording_autostart_store.h"
#include "texts/user_texts.h"
#include "tools/virtual_card.h"
#include "tuner/tuner_dialog.h"

namespace tarvento::testing {
namespace {

class PanicUnprivileged : public TreeTest {
protected:
    std::filesystem::path Registers() const { return Dir(1) / "resource0"; }

    // Starts the window's behaviour on the tree in a child that is nobody, moves the
    // memory slider to its top, sets the clocks, and presses Panic !. The child reports
    // every message it showed, one a line.
    std::optional<ChildResult> SetThenPanic() {
        const std::string root = tree.RootString();
        return RunInChild(
            [root](int out) {
                SysfsHardware hw(root);
                ChipState chip(hw);
                RecordingAutostartStore store;
                FakeDialogControls controls;  // every box answered OK
                TunerDialog dialog(controls, {chip, store, "", "/opt/tarvento/bin/tarvento"});
                dialog.OnInitDialog();
                controls.UserMovesTrackbar(kIdMemTrackbar, 145);
                dialog.OnHScroll(kIdMemTrackbar);
                dialog.SetClockNow();
                dialog.RestoreClocks();
                std::string text;
                for (const std::string& m : controls.Messages()) text += m + "\n";
                WriteText(out, text);
                return 0;
            },
            true);
    }
};

TEST_F(PanicUnprivileged, ATntGetsItsStartWordsBackByteForByte) {
    virtualcard::VirtualCard card = *virtualcard::StockCard("RIVA_TNT");
    card.slot = SysfsSlot{0, 1, 0, 0};
    card.bar0 = 0xE0000000;
    card.memPll = 0x0001EB0C;  // set again through the formulas it would come back faster
    tree.Add(card);
    OpenToEveryone(tree.Root());
    ::chmod(Registers().c_str(), 0666);
    const uint32_t core = tree.FileWord(Registers(), kCorePllOffset);

    const std::optional<ChildResult> run = SetThenPanic();
    if (!run) GTEST_SKIP() << "cannot give up the privileges that override permissions";
    EXPECT_EQ(run->status, 0);
    const std::string warning = std::string(kWarningText) + "\n";
    EXPECT_EQ(run->out, warning + warning + kMsgRestored + "\n");
    EXPECT_EQ(tree.FileWord(Registers(), kMemPllOffset), 0x0001EB0Cu);
    EXPECT_EQ(tree.FileWord(Registers(), kCorePllOffset), core);
}

}  // namespace
}  // namespace tarvento::testing
