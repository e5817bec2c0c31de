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

// A card whose memory PLL a set moves away from its start word, and back on Panic !.
struct PanicCase {
    const char* chip;
    uint32_t memPll;  // the start word
    int32_t memMhz;   // where the memory slider is moved before Set Clock now
};

void PrintTo(const PanicCase& c, std::ostream* os) { *os << c.chip; }

class PanicUnprivileged : public TreeTest, public ::testing::WithParamInterface<PanicCase> {
protected:
    std::filesystem::path Registers() const { return Dir(1) / "resource0"; }

    // Starts the window's behaviour on the tree in a child that is nobody, moves the
    // memory slider to `memMhz`, sets the clocks, and presses Panic !. The child reports
    // every message it showed, one a line.
    std::optional<ChildResult> SetThenPanic(int32_t memMhz) {
        const std::string root = tree.RootString();
        return RunInChild(
            [root, memMhz](int out) {
                SysfsHardware hw(root);
                ChipState chip(hw);
                RecordingAutostartStore store;
                FakeDialogControls controls;  // every box answered OK
                TunerDialog dialog(controls, {chip, store, "", "/opt/tarvento/bin/tarvento"});
                dialog.OnInitDialog();
                controls.UserMovesTrackbar(kIdMemTrackbar, memMhz);
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

TEST_P(PanicUnprivileged, TheCardGetsItsStartWordsBackByteForByte) {
    virtualcard::VirtualCard card = *virtualcard::StockCard(GetParam().chip);
    card.slot = SysfsSlot{0, 1, 0, 0};
    card.bar0 = 0xE0000000;
    card.memPll = GetParam().memPll;
    tree.Add(card);
    OpenToEveryone(tree.Root());
    ::chmod(Registers().c_str(), 0666);
    const uint32_t core = tree.FileWord(Registers(), kCorePllOffset);

    const std::optional<ChildResult> run = SetThenPanic(GetParam().memMhz);
    if (!run) GTEST_SKIP() << "cannot give up the privileges that override permissions";
    EXPECT_EQ(run->status, 0);
    const std::string warning = std::string(kWarningText) + "\n";
    EXPECT_EQ(run->out, warning + warning + kMsgRestored + "\n");
    EXPECT_EQ(tree.FileWord(Registers(), kMemPllOffset), GetParam().memPll);
    EXPECT_EQ(tree.FileWord(Registers(), kCorePllOffset), core);
}

INSTANTIATE_TEST_SUITE_P(
    EachKindOfSet, PanicUnprivileged,
    ::testing::Values(
        // Set again through the formulas, the TNT's start clock would come back faster.
        PanicCase{"RIVA_TNT", 0x0001EB0C, 145},
        // M 14, N 250 as a BIOS may leave it: the set takes another M, Panic ! puts both back.
        PanicCase{"RIVA_TNT2", 0x0001FA0E, 180}),
    [](const ::testing::TestParamInfo<PanicCase>& info) { return std::string(info.param.chip); });

}  // namespace
}  // namespace tarvento::testing
