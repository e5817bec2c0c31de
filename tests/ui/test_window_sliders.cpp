// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's sliders with real keys and drags: the fields follow the user's moves,
// linked sliders move together, and the window's own moves never count as the user's.
#include <QSlider>
#include <QTest>

#include "chip/chip_table.h"
#include "tests/ui/slider_probe.h"
#include "tests/ui/ui_rig.h"
#include "texts/user_texts.h"
#include "ui/trackbar_slider.h"

namespace tarvento::testing {
namespace {

using WindowSliders = UiRig;

QSlider* SliderOf(ui::TunerDialogWindow& w, int id) { return qobject_cast<QSlider*>(w.Control(id)); }

TEST_F(WindowSliders, TntSlidersMoveOneClockEach) {
    InsertTnt();  // 89 MHz memory, 90 MHz core
    MakeWindow();
    Run([&](ui::TunerDialogWindow& w) {
        QSlider* mem = SliderOf(w, kIdMemTrackbar);
        QSlider* core = SliderOf(w, kIdChipTrackbar);
        EXPECT_EQ(mem->minimum(), 80);
        EXPECT_EQ(mem->maximum(), 145);
        EXPECT_EQ(core->minimum(), 80);
        EXPECT_EQ(core->maximum(), 130);
        EXPECT_EQ(mem->value(), 89);
        EXPECT_EQ(core->value(), 90);

        QTest::keyClick(mem, Qt::Key_End);
        EXPECT_EQ(Text(kIdMemClockText), "145");
        EXPECT_EQ(Current(), (ClockPair{145, 90}));
        EXPECT_EQ(core->value(), 90);
        EXPECT_EQ(Text(kIdChipClockText), "90");

        QTest::keyClick(core, Qt::Key_Left);
        EXPECT_EQ(Text(kIdChipClockText), "89");
        EXPECT_EQ(Current(), (ClockPair{145, 89}));
        EXPECT_EQ(mem->value(), 145);
        w.reject();
    });
    EXPECT_TRUE(hw.Writes().empty()) << "sliders never write to the chip";
}

// The TNT2 family: each chip's limits, its stock clocks on the thumbs, and two clocks.
struct Tnt2Sliders {
    const char* chip;
    uint16_t device;
    int memMin, memMax, chipMin, chipMax;
    int mem, core;  // the stock clocks its PLL words read
};

class WindowSlidersOnTnt2 : public UiRig, public ::testing::WithParamInterface<Tnt2Sliders> {};

TEST_P(WindowSlidersOnTnt2, LimitsAndStockClocksOfTheChipAndOneClockEach) {
    const Tnt2Sliders& c = GetParam();
    const ChipProfile* profile = FindChipProfileByName(c.chip);
    ASSERT_NE(profile, nullptr);
    InsertCard(0x10DE, c.device);
    hw.SetRegister(kMemPll, profile->memoryClock->stockPll);
    hw.SetRegister(kCorePll, profile->chipClock->stockPll);
    MakeWindow();
    Run([&](ui::TunerDialogWindow& w) {
        EXPECT_EQ(Text(kIdChipsetText), c.chip);
        QSlider* mem = SliderOf(w, kIdMemTrackbar);
        QSlider* core = SliderOf(w, kIdChipTrackbar);
        EXPECT_EQ(mem->minimum(), c.memMin);
        EXPECT_EQ(mem->maximum(), c.memMax);
        EXPECT_EQ(core->minimum(), c.chipMin);
        EXPECT_EQ(core->maximum(), c.chipMax);
        EXPECT_EQ(Current(), (ClockPair{c.mem, c.core}));
        EXPECT_EQ(Text(kIdMemClockText), std::to_string(c.mem));
        EXPECT_EQ(Text(kIdChipClockText), std::to_string(c.core));

        QTest::keyClick(mem, Qt::Key_End);
        EXPECT_EQ(Current(), (ClockPair{c.memMax, c.core}));
        EXPECT_EQ(core->value(), c.core);
        QTest::keyClick(core, Qt::Key_Home);
        EXPECT_EQ(Current(), (ClockPair{c.memMax, c.chipMin}));
        EXPECT_EQ(mem->value(), c.memMax);
        w.reject();
    });
    EXPECT_TRUE(hw.Writes().empty()) << "sliders never write to the chip";
}

INSTANTIATE_TEST_SUITE_P(EachChip, WindowSlidersOnTnt2,
                         ::testing::Values(Tnt2Sliders{"RIVA_TNT2", 0x002B, 110, 200, 100, 175, 150, 125},
                                           Tnt2Sliders{"TNT2_ULTRA", 0x0029, 140, 230, 120, 200, 183, 150},
                                           Tnt2Sliders{"RIVA_VANTA", 0x002C, 80, 160, 70, 140, 125, 100},
                                           Tnt2Sliders{"TNT2_M64", 0x002D, 110, 185, 100, 165, 150, 125}),
                         [](const ::testing::TestParamInfo<Tnt2Sliders>& info) {
                             return std::string(info.param.chip);
                         });

TEST_F(WindowSliders, Riva128SlidersFollowEachOtherThroughADrag) {
    InsertRiva128();  // 89 MHz, below the sliders' 90
    MakeWindow();
    Run([&](ui::TunerDialogWindow& w) {
        QSlider* mem = SliderOf(w, kIdMemTrackbar);
        QSlider* core = SliderOf(w, kIdChipTrackbar);
        std::vector<std::pair<int, int>> seen;  // (memory thumb, chip thumb) at each step
        // Connected after the window: this sees each move once the window has handled it.
        QObject::connect(static_cast<ui::TrackbarSlider*>(core), &ui::TrackbarSlider::userScrolled, [&] {
            seen.emplace_back(mem->value(), core->value());
            EXPECT_EQ(Text(kIdMemClockText), std::to_string(core->value()));
            EXPECT_EQ(Text(kIdChipClockText), std::to_string(core->value()));
        });
        DragHandle(core, 80, 5);
        ASSERT_GE(seen.size(), 3u);
        for (const auto& [memThumb, coreThumb] : seen) EXPECT_EQ(memThumb, coreThumb);
        EXPECT_EQ(mem->value(), core->value());
        EXPECT_GT(core->value(), 90);
        EXPECT_EQ(Current(), (ClockPair{core->value(), core->value()}));

        QTest::keyClick(mem, Qt::Key_Home);
        EXPECT_EQ(core->value(), 90);
        EXPECT_EQ(Current(), (ClockPair{90, 90}));
        EXPECT_EQ(Text(kIdChipClockText), "90");
        w.reject();
    });
    EXPECT_TRUE(hw.Writes().empty());
}

TEST_F(WindowSliders, AClockOutsideTheLimitsStaysUntilTheUserMovesASlider) {
    InsertRiva128();  // 89 MHz, below the sliders' 90
    MakeWindow();
    Run([&](ui::TunerDialogWindow& w) {
        // The start moved both thumbs to the limit; that was the program, not the user.
        EXPECT_EQ(SliderOf(w, kIdMemTrackbar)->value(), 90);
        EXPECT_EQ(SliderOf(w, kIdChipTrackbar)->value(), 90);
        EXPECT_EQ(Text(kIdMemClockText), "89");
        EXPECT_EQ(Current(), (ClockPair{89, 89}));

        // Panic ! sees no change.
        messages.shown.clear();
        QTest::mouseClick(w.Control(kIdPanic), Qt::LeftButton);
        EXPECT_EQ(messages.Texts(), std::vector<std::string>{kMsgDontPanic});

        // Pressing against the limit is a move: the fields take what the thumb shows.
        QTest::keyClick(SliderOf(w, kIdMemTrackbar), Qt::Key_Left);
        EXPECT_EQ(Current(), (ClockPair{90, 90}));
        EXPECT_EQ(Text(kIdMemClockText), "90");
        w.reject();
    });
}

TEST_F(WindowSliders, PanicPutsTheThumbsAndTheFieldsBack) {
    InsertTnt();
    MakeWindow();
    Run([&](ui::TunerDialogWindow& w) {
        QTest::keyClick(SliderOf(w, kIdMemTrackbar), Qt::Key_PageUp);
        QTest::keyClick(SliderOf(w, kIdChipTrackbar), Qt::Key_PageUp);
        ASSERT_EQ(Current(), (ClockPair{102, 100}));  // a fifth of each range
        messages.shown.clear();

        QTest::mouseClick(w.Control(kIdPanic), Qt::LeftButton);

        EXPECT_EQ(SliderOf(w, kIdMemTrackbar)->value(), 89);
        EXPECT_EQ(SliderOf(w, kIdChipTrackbar)->value(), 90);
        EXPECT_EQ(Text(kIdMemClockText), "89");
        EXPECT_EQ(Text(kIdChipClockText), "90");
        EXPECT_EQ(Current(), (ClockPair{89, 90}));
        EXPECT_EQ(messages.Texts(), std::vector<std::string>{kMsgRestored});
        w.reject();
    });
    // The saved clocks went back to the chip, once each.
    const auto writes = hw.Writes();
    ASSERT_EQ(writes.size(), 2u);
    EXPECT_EQ(hw.CountAccesses(FakeHardware::Access::Write, kMemPll), 1);
    EXPECT_EQ(hw.CountAccesses(FakeHardware::Access::Write, kCorePll), 1);
}

}  // namespace
}  // namespace tarvento::testing
