// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTest>
#include <QTimer>
#include <deque>
#include <filesystem>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "chip/chip_state.h"
#include "chip/registers.h"
#include "chip/sysfs_hardware.h"
#include "keeping/xdg_autostart_store.h"
#include "tests/safety/card_snapshot.h"
#include "tests/support/message_recorder.h"
#include "tests/support/unsupported_card.h"
#include "tests/support/virtual_tree.h"
#include "tests/ui/ui_rig.h"
#include "ui/tuner_dialog_window.h"

namespace tarvento::testing {

// Answers the window's message boxes in order: from a recorder's script, or by clicking
// the real boxes Qt shows. Either way it keeps the text of every box that came.
class BoxAnswers {
public:
    explicit BoxAnswers(bool realBoxes) : real_(realBoxes) {
        if (!real_) return;
        // One poller for the whole run, so answers given in a row go to boxes in a row.
        timer_.setInterval(10);
        QObject::connect(&timer_, &QTimer::timeout, [this] { AnswerShownBox(); });
        timer_.start();
    }

    // nullptr for real boxes: the window then shows its own.
    MessageBoxOwner* Owner() { return real_ ? nullptr : &recorder_; }

    // The next box that comes up gets `answer`.
    void Give(MessageAnswer answer) {
        if (real_) {
            pending_.push_back(answer);
        } else {
            recorder_.answers.push_back(answer);
        }
    }

    // The texts of the boxes shown since the last call; fails when an answer was given
    // for a box that never came.
    std::vector<std::string> Take() {
        std::vector<std::string> texts;
        if (real_) {
            texts.swap(seen_);
            EXPECT_TRUE(pending_.empty()) << pending_.size() << " awaited box(es) never came";
            pending_.clear();
        } else {
            texts = recorder_.Texts();
            for (const auto& shown : recorder_.shown) informative_.push_back(shown.informativeText);
            recorder_.shown.clear();
            EXPECT_TRUE(recorder_.answers.empty()) << "an awaited box never came";
            recorder_.answers.clear();
        }
        return texts;
    }

    // The informative texts of every box taken so far, in order ("" for a box without one).
    std::vector<std::string> InformativeTexts() const { return informative_; }

private:
    void AnswerShownBox() {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr || !box->isVisible() || box->property("answered").toBool()) return;
        box->setProperty("answered", true);
        seen_.push_back(box->text().toStdString());
        informative_.push_back(box->informativeText().toStdString());
        MessageAnswer answer = MessageAnswer::Ok;
        if (!pending_.empty()) {
            answer = pending_.front();
            pending_.pop_front();
        } else {
            ADD_FAILURE() << "an unexpected box: " << box->text().toStdString();
        }
        QAbstractButton* button =
            box->button(answer == MessageAnswer::Ok ? QMessageBox::Ok : QMessageBox::Cancel);
        if (button == nullptr) {
            ADD_FAILURE() << "the box has no such button: " << box->text().toStdString();
            box->reject();
            return;
        }
        QTest::mouseClick(button, Qt::LeftButton);
    }

    bool real_;
    MessageRecorder recorder_;
    QTimer timer_;
    std::deque<MessageAnswer> pending_;
    std::vector<std::string> seen_;
    std::vector<std::string> informative_;
};

// A virtual tree with a recognised card and a bystander card that has registers too,
// the real sysfs access over it, an XDG autostart folder beside it, and the real main
// window. Step() runs one user action and holds the invariant: no file of the tree
// changes, except the N bytes of the recognised card's two PLL words after an action
// that may write clocks.
class SafetyRig : public ::testing::Test {
protected:
    static constexpr uint32_t kCardBase = 0xE0000000;
    static constexpr uint32_t kBystanderBase = 0xE1000000;

    VirtualTree tree;
    std::filesystem::path autostartFolder = tree.Root() / "xdg" / "autostart";
    std::unique_ptr<SysfsHardware> hw;
    std::unique_ptr<ChipState> chip;
    std::unique_ptr<XdgAutostartStore> store;
    std::unique_ptr<BoxAnswers> boxes;
    std::unique_ptr<ui::TunerDialogWindow> window;
    std::set<std::filesystem::path> writable;  // resource0 of the recognised card
    CardSnapshot first, last;

    void SetUp() override { TestApplication(); }
    void TearDown() override {
        window.reset();
        boxes.reset();
    }

    std::filesystem::path CardRegisters() const { return tree.SlotDir(1, 0, 0) / "resource0"; }
    uint32_t CardWord(uint32_t offset) const { return tree.FileWord(CardRegisters(), offset); }

    // The card under test on 01:00.0, and an unsupported VGA card with live-looking
    // registers behind it on 02:00.0 that discovery passes over.
    void AddCards(virtualcard::VirtualCard card, bool recognised) {
        card.slot = SysfsSlot{0, 1, 0, 0};
        card.bar0 = kCardBase;
        tree.Add(card);
        virtualcard::VirtualCard bystander = *virtualcard::StockCard("RIVA_TNT");
        bystander.slot = SysfsSlot{0, 2, 0, 0};
        bystander.vendorId = kUnsupportedCard.vendorId;
        bystander.deviceId = kUnsupportedCard.deviceId;
        bystander.bar0 = kBystanderBase;
        tree.Add(bystander);
        if (recognised) writable = {CardRegisters()};
    }

    ui::TunerDialogWindow& MakeWindow(const std::string& arguments, bool realBoxes) {
        hw = std::make_unique<SysfsHardware>(tree.RootString());
        chip = std::make_unique<ChipState>(*hw);
        store = std::make_unique<XdgAutostartStore>(autostartFolder.string());
        boxes = std::make_unique<BoxAnswers>(realBoxes);
        window = std::make_unique<ui::TunerDialogWindow>(
            TunerDialog::Environment{*chip, *store, arguments, kProgramPath},
            boxes->Owner());
        first = last = TakeSnapshot(tree.Root());
        return *window;
    }

    // Runs `act`, lets the window settle, and compares the tree with the snapshot taken
    // after the previous step. Returns the texts of the boxes the action brought up.
    std::vector<std::string> Step(const std::string& what, bool mayWrite, const std::function<void()>& act) {
        SCOPED_TRACE(what);
        act();
        QApplication::processEvents();
        CardSnapshot now = TakeSnapshot(tree.Root());
        const auto wrong = ForbiddenChanges(last, now, mayWrite ? writable : std::set<std::filesystem::path>{});
        for (const std::string& w : wrong) ADD_FAILURE() << what << ": " << w;
        last = std::move(now);
        return boxes->Take();
    }

    // Runs the window modally; `whileOpen` runs from its event loop once it is shown and
    // must end the dialog. Returns the code the run ended with.
    int Run(std::function<void(ui::TunerDialogWindow&)> whileOpen) {
        ui::TunerDialogWindow* w = window.get();
        WhenReady([w] { return w->isVisible(); }, [w, whileOpen] {
            whileOpen(*w);
            if (w->isVisible()) w->reject();  // a failed step must not leave the run hanging
        });
        return window->exec();
    }

    bool EntryExists() const { return std::filesystem::exists(autostartFolder / "Tarvo.desktop"); }
};

}  // namespace tarvento::testing
