// SPDX-License-Identifier: GPL-3.0-or-later
// The autostart check box in the real window when no chip is recognised: an entry of
// this program's can be taken away with the mouse, and then the box rests.
#include <QAbstractButton>
#include <QTest>

#include "tests/ui/ui_rig.h"
#include "texts/user_texts.h"

namespace tarvento::testing {
namespace {

using WindowAutostart = UiRig;

TEST_F(WindowAutostart, WithoutAChipAnOwnEntryCanStillBeUnticked) {
    InsertCard(0x1002, 0x4755);  // some other maker's card
    store.Put(std::string(kProgramPath) + " RIVA_TNT 110 100");
    MakeWindow();
    Run([&](ui::TunerDialogWindow& w) {
        auto* box = static_cast<QAbstractButton*>(w.Control(kIdAutostartCheck));
        ASSERT_TRUE(box->isEnabled());
        EXPECT_TRUE(box->isChecked());
        for (int id : {kIdMemTrackbar, kIdChipTrackbar, kIdSetClockNow, kIdPanic})
            EXPECT_FALSE(w.Control(id)->isEnabled()) << id;

        QTest::mouseClick(box, Qt::LeftButton, Qt::NoModifier, box->rect().bottomLeft() + QPoint(4, -4));
        EXPECT_FALSE(box->isChecked());
        EXPECT_FALSE(box->isEnabled()) << "nothing left to turn off";
        EXPECT_EQ(Text(kIdAutoMemText), "---");
        w.reject();
    });
    EXPECT_EQ(store.StoredEntry(), std::nullopt);
    EXPECT_TRUE(hw.Writes().empty());
    EXPECT_EQ(messages.Texts(), std::vector<std::string>{kWarningText}) << "the start warning only";
}

}  // namespace
}  // namespace tarvento::testing
