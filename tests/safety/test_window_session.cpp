// SPDX-License-Identifier: GPL-3.0-or-later
// A scripted session of every user action through the real window, on virtual cards read
// and written through the real sysfs access. After each action every file of the tree is
// compared with the state before it: only Set Clock now and Panic ! may change anything,
// and then only the N byte of the two PLL words of the recognised card.
#include <QCheckBox>
#include <QSlider>
#include <QTest>

#include "chip/chip_table.h"
#include "chip/clock_formulas.h"
#include "chip/clock_restore.h"
#include "tests/safety/safety_rig.h"
#include "tests/ui/slider_probe.h"
#include "texts/user_texts.h"

namespace tarvento::testing {
namespace {

using Texts = std::vector<std::string>;

QSlider* SliderOf(ui::TunerDialogWindow& w, int id) { return qobject_cast<QSlider*>(w.Control(id)); }
void Click(ui::TunerDialogWindow& w, int id) { QTest::mouseClick(w.Control(id), Qt::LeftButton); }

class WindowSession : public SafetyRig, public ::testing::WithParamInterface<bool> {
protected:
    // The clocks the card's PLL words read as now, straight from its file.
    ClockPair CardClocks() const {
        const uint32_t strap = CardWord(kStrapOffset);
        if (chip->currentChipName != nullptr && std::string(chip->currentChipName) == kRivaTntName) {
            return {TntMemClockFromPll(CardWord(kMemPllOffset), strap),
                    TntChipClockFromPll(CardWord(kCorePllOffset), strap)};
        }
        const int32_t one = Riva128ClockFromPll(CardWord(kMemPllOffset), strap);
        return {one, one};
    }
    // The two PLL words Set Clock now must leave for `clocks`, from the words
    // the card held at the start: only N changes, to the value the formulas give.
    std::pair<uint32_t, uint32_t> WordsFor(ClockPair clocks) const {
        const uint32_t strap = startWords.strap;
        if (startWords.tnt) {
            return {PllWithN(startWords.mem, TntMemN(clocks.memory, startWords.mem, strap).value_or(0)),
                    PllWithN(startWords.core, TntChipN(clocks.chip, startWords.core, strap).value_or(0))};
        }
        return {PllWithN(startWords.mem, Riva128N(clocks.memory, startWords.mem, strap).value_or(0)),
                startWords.core};
    }
    std::pair<uint32_t, uint32_t> CardWords() const {
        return {CardWord(kMemPllOffset), CardWord(kCorePllOffset)};
    }
    struct {
        bool tnt = false;
        uint32_t mem = 0, core = 0, strap = 0;
    } startWords;

    ClockPair WindowClocks() { return {window->Tuner().Fields().memClock, window->Tuner().Fields().chipClock}; }

    // Every action a user has, in an order that makes each one matter: the sliders move
    // away from the card's clocks, a cancelled Set Clock now keeps them off the card, an
    // accepted one writes them, Panic ! brings the start-up clocks back.
    void PlayEveryAction(ui::TunerDialogWindow& w) {
        QSlider* mem = SliderOf(w, kIdMemTrackbar);
        QSlider* core = SliderOf(w, kIdChipTrackbar);
        const ClockPair atStart = CardClocks();
        startWords = {std::string(chip->currentChipName) == kRivaTntName, CardWord(kMemPllOffset),
                      CardWord(kCorePllOffset), CardWord(kStrapOffset)};

        EXPECT_EQ(Step("the start, warning answered OK", false, [] {}), Texts{kWarningText});
        EXPECT_EQ(WindowClocks(), atStart) << "the window shows what the card holds";

        Step("keys on the memory slider", false, [&] {
            mem->setFocus();
            for (Qt::Key key : {Qt::Key_Right, Qt::Key_Up, Qt::Key_PageUp, Qt::Key_End, Qt::Key_Home,
                                Qt::Key_PageDown, Qt::Key_Left, Qt::Key_Down})
                QTest::keyClick(mem, key);
            QTest::keyClick(mem, Qt::Key_End);
        });
        EXPECT_EQ(WindowClocks().memory, mem->maximum()) << "the keys reached the slider";

        Step("keys on the chip slider", false, [&] {
            core->setFocus();
            QTest::keyClick(core, Qt::Key_Home);
            QTest::keyClick(core, Qt::Key_Right);
            QTest::keyClick(core, Qt::Key_PageUp);
        });
        const int32_t chipByKeys = WindowClocks().chip;
        EXPECT_GT(chipByKeys, core->minimum());

        Step("a drag, the wheel and a click on the groove", false, [&] {
            DragHandle(core, -40, 6);
            WheelUp(core);
            QTest::mouseClick(core, Qt::LeftButton, Qt::NoModifier, QPoint(core->width() - 2, core->height() / 2));
            DragHandle(mem, -30, 4);
        });
        EXPECT_NE(WindowClocks(), atStart);
        EXPECT_EQ(CardClocks(), atStart) << "moving the sliders wrote nothing";

        EXPECT_EQ(Step("Set Clock now, cancelled", false,
                       [&] {
                           boxes->Give(MessageAnswer::Cancel);
                           Click(w, kIdSetClockNow);
                       }),
                  Texts{kWarningText});
        EXPECT_EQ(CardClocks(), atStart);

        EXPECT_EQ(Step("Enter from a slider: Set Clock now, cancelled", false,
                       [&] {
                           boxes->Give(MessageAnswer::Cancel);
                           mem->setFocus();
                           QTest::keyClick(mem, Qt::Key_Return);
                       }),
                  Texts{kWarningText});

        const ClockPair chosen = WindowClocks();
        EXPECT_EQ(Step("Set Clock now, accepted", true,
                       [&] {
                           boxes->Give(MessageAnswer::Ok);
                           Click(w, kIdSetClockNow);
                       }),
                  Texts{kWarningText});
        EXPECT_EQ(CardWords(), WordsFor(chosen)) << "the card holds the clocks the window showed";

        EXPECT_EQ(Step("Panic !", true,
                       [&] {
                           boxes->Give(MessageAnswer::Ok);
                           Click(w, kIdPanic);
                       }),
                  Texts{kMsgRestored});
        // The very words the card started with, byte for byte, not the start-up clocks
        // set again through the formulas (those can differ by a step either way).
        EXPECT_EQ(CardWords(), std::make_pair(startWords.mem, startWords.core))
            << "the start-up words are back";
        EXPECT_EQ(CardClocks(), atStart);
        EXPECT_EQ(WindowClocks(), atStart);

        EXPECT_EQ(Step("Panic ! with nothing to restore", false,
                       [&] {
                           boxes->Give(MessageAnswer::Ok);
                           Click(w, kIdPanic);
                       }),
                  Texts{kMsgDontPanic});

        EXPECT_TRUE(Step("autostart on", false, [&] { Click(w, kIdAutostartCheck); }).empty());
        EXPECT_TRUE(EntryExists()) << "the click wrote the entry, beside the cards";
        EXPECT_TRUE(Step("autostart off", false, [&] { Click(w, kIdAutostartCheck); }).empty());
        EXPECT_FALSE(EntryExists());

        EXPECT_TRUE(Step("Exit", false, [&] { Click(w, kIdCancel); }).empty());
        EXPECT_FALSE(w.isVisible());
    }
};

TEST_P(WindowSession, EveryActionOnATntTouchesOnlyThePllNBytes) {
    AddCards(*virtualcard::StockCard("RIVA_TNT"), true);
    MakeWindow("", GetParam());
    boxes->Give(MessageAnswer::Ok);  // the start warning
    EXPECT_EQ(Run([&](ui::TunerDialogWindow& w) { PlayEveryAction(w); }), kIdCancel);
    EXPECT_EQ(chip->currentChipName, std::string(kRivaTntName));
    Step("after the window closed", false, [] {});
}

// A memory word whose clock, set again through the formulas, is one step faster.
TEST_P(WindowSession, EveryActionOnATntWithAWordTheFormulasDoNotGiveBack) {
    virtualcard::VirtualCard card = *virtualcard::StockCard("RIVA_TNT");
    card.memPll = 0x0001EB0C;
    AddCards(card, true);
    MakeWindow("", GetParam());
    boxes->Give(MessageAnswer::Ok);  // the start warning
    EXPECT_EQ(Run([&](ui::TunerDialogWindow& w) { PlayEveryAction(w); }), kIdCancel);
    EXPECT_EQ(CardWord(kMemPllOffset), 0x0001EB0Cu);
    Step("after the window closed", false, [] {});
}

// The stock RIVA 128 memory word (N = 168, read as 100 MHz) comes back as itself.
TEST_P(WindowSession, EveryActionOnARiva128TouchesOnlyThePllNBytes) {
    AddCards(*virtualcard::StockCard("RIVA_128"), true);
    MakeWindow("", GetParam());
    boxes->Give(MessageAnswer::Ok);  // the start warning
    EXPECT_EQ(Run([&](ui::TunerDialogWindow& w) { PlayEveryAction(w); }), kIdCancel);
    EXPECT_EQ(chip->currentChipName, std::string(kRiva128Name));
    EXPECT_EQ(CardWord(kMemPllOffset), 0x0001A80Cu);
    Step("after the window closed", false, [] {});
}

INSTANTIATE_TEST_SUITE_P(Boxes, WindowSession, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "RealBoxes" : "ScriptedAnswers"; });

// Clocks from the command line outside the chip's limits, applied by Set Clock now after
// a mismatching chip name: the pair is refused whole, and neither clock reaches the card.
TEST_F(SafetyRig, ARefusedClockFromTheCommandLineIsNotWritten) {
    AddCards(*virtualcard::StockCard("RIVA_TNT"), true);
    MakeWindow("RIVA_128 400 100", false);
    const uint32_t memWord = CardWord(kMemPllOffset);
    const uint32_t coreWord = CardWord(kCorePllOffset);
    Run([&](ui::TunerDialogWindow& w) {
        EXPECT_EQ(Step("the start", false, [] {}), (Texts{kWarningText, kMsgWrongChipset}));
        EXPECT_EQ(Step("Set Clock now", true,
                       [&] {
                           boxes->Give(MessageAnswer::Ok);
                           boxes->Give(MessageAnswer::Ok);
                           Click(w, kIdSetClockNow);
                       }),
                  (Texts{kWarningText, kMsgFrequencyOutOfRange}));
        w.reject();
    });
    EXPECT_EQ(CardWord(kMemPllOffset), memWord) << "400 MHz never reached the memory PLL";
    EXPECT_EQ(CardWord(kCorePllOffset), coreWord) << "nor 100 MHz the core PLL";
}

// The one start that writes without asking: the clocks the autostart entry names.
TEST_F(SafetyRig, AnUnattendedStartWritesOnlyThePllNBytes) {
    AddCards(*virtualcard::StockCard("RIVA_TNT"), true);
    MakeWindow("RIVA_TNT 120 100", false);
    EXPECT_EQ(window->exec(), kIdCancel);
    EXPECT_TRUE(window->Tuner().UnattendedStartSucceeded());
    EXPECT_TRUE(Step("the unattended start", true, [] {}).empty()) << "no box, not even the warning";
    const uint32_t strap = CardWord(kStrapOffset);
    EXPECT_EQ(TntMemClockFromPll(CardWord(kMemPllOffset), strap), 120);
    EXPECT_EQ(TntChipClockFromPll(CardWord(kCorePllOffset), strap), 100);
}

// A second display function appears before the TNT on the bus after the start (a card
// added, or listed first after a rescan). The autostart click repeats discovery, which now
// finds it; Set Clock now must still write the TNT's two PLL words, only their N byte,
// Panic ! after one more click must give the TNT its exact start-up words back, and every
// file of the other card stays as it was.
TEST_F(SafetyRig, ADiscoveryThatFindsAnotherCardMovesNoWriteNorRestore) {
    AddCards(*virtualcard::StockCard("RIVA_TNT"), true);
    MakeWindow("", false);
    Run([&](ui::TunerDialogWindow& w) {
        EXPECT_EQ(Step("the start", false, [] {}), Texts{kWarningText});
        virtualcard::VirtualCard other = *virtualcard::StockCard("RIVA_TNT");
        other.slot = SysfsSlot{0, 0, 5, 0};
        other.vendorId = 0x1002;
        other.deviceId = 0x5046;
        other.bar0 = 0xE2000000;
        tree.Add(other);
        last = TakeSnapshot(tree.Root());  // the new card's files as they must stay

        EXPECT_TRUE(Step("autostart on", false, [&] { Click(w, kIdAutostartCheck); }).empty());
        EXPECT_EQ(chip->discovery.registerBase, 0xE2000000u) << "the click's discovery found the new card";

        const uint32_t strap = CardWord(kStrapOffset);
        const uint32_t memAtStart = CardWord(kMemPllOffset);
        const uint32_t coreAtStart = CardWord(kCorePllOffset);
        Step("both sliders to their lowest", false, [&] {
            for (int id : {kIdMemTrackbar, kIdChipTrackbar}) {
                SliderOf(w, id)->setFocus();
                QTest::keyClick(SliderOf(w, id), Qt::Key_Home);
            }
        });
        const TunerFields& f = window->Tuner().Fields();
        ASSERT_EQ(f.memClock, 80);
        EXPECT_EQ(Step("Set Clock now", true,
                       [&] {
                           boxes->Give(MessageAnswer::Ok);
                           Click(w, kIdSetClockNow);
                       }),
                  Texts{kWarningText});
        EXPECT_NE(CardWord(kMemPllOffset), memAtStart) << "the TNT was written";
        EXPECT_EQ(TntMemClockFromPll(CardWord(kMemPllOffset), strap), f.memClock);
        EXPECT_EQ(TntChipClockFromPll(CardWord(kCorePllOffset), strap), f.chipClock);

        EXPECT_TRUE(Step("autostart off", false, [&] { Click(w, kIdAutostartCheck); }).empty());
        EXPECT_EQ(Step("Panic !", true,
                       [&] {
                           boxes->Give(MessageAnswer::Ok);
                           Click(w, kIdPanic);
                       }),
                  Texts{kMsgRestored});
        EXPECT_EQ(CardWord(kMemPllOffset), memAtStart) << "the TNT's start-up words are back";
        EXPECT_EQ(CardWord(kCorePllOffset), coreAtStart);
        w.reject();
    });
}

// A card that answers all ones is no card: the start says so with the reason, and no
// action of the window writes anything.
TEST_P(WindowSession, ACardThatAnswersAllOnesIsNotACard) {
    virtualcard::VirtualCard dead = *virtualcard::StockCard("RIVA_TNT");
    dead.corePll = dead.memPll = dead.strap = 0xFFFFFFFF;
    AddCards(dead, false);
    MakeWindow("", GetParam());
    boxes->Give(MessageAnswer::Ok);  // PCI/AGP access failed !
    boxes->Give(MessageAnswer::Ok);  // the start warning
    Run([&](ui::TunerDialogWindow& w) {
        EXPECT_EQ(Step("the start", false, [] {}), (Texts{kMsgPciAccessFailed, kWarningText}));
        EXPECT_EQ(chip->currentChipName, nullptr);
        Step("Set Clock now and Panic !", false, [&] {
            Click(w, kIdSetClockNow);
            Click(w, kIdPanic);
        });
        w.reject();
    });
    const std::vector<std::string> informative = boxes->InformativeTexts();
    ASSERT_FALSE(informative.empty());
    EXPECT_EQ(informative[0], GetParam() ? "The card answers FFFFFFFFh from its clock registers: it is not "
                                            "initialised, or its memory decoding is off, and its registers "
                                            "cannot be reached."
                                          : "the card answers FFFFFFFFh from its clock registers: it is not "
                                            "initialised, or its memory decoding is off, and its registers "
                                            "cannot be reached");
}

}  // namespace
}  // namespace tarvento::testing
