// SPDX-License-Identifier: GPL-3.0-or-later
// The window library's entry point: what it hands the window, and the exit status it
// gives back for each way the window can end.
#include <QMessageBox>

#include "autostart/user_texts.h"
#include "tests/ui/ui_rig.h"
#include "ui/ui_entry.h"

namespace tarvento::testing {
namespace {

class UiEntry : public UiRig {
protected:
    char program[32] = "tarvento";
    char* argv[2] = {program, nullptr};

    int RunEntry(const char* arguments) {
        const UiRun run{1, argv, &chip, &store, arguments, kProgramPath, nullptr};
        return tarvento_ui_run(&run);
    }

    // Answers every message box with `button` and lets every notice close by itself;
    // collects the texts of the boxes.
    void AnswerBoxes(QMessageBox::StandardButton button, std::vector<std::string>& texts) {
        auto* timer = new QTimer;
        QObject::connect(timer, &QTimer::timeout, [button, &texts] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (box && box->isVisible()) {
                texts.push_back(box->text().toStdString());
                box->done(button);
            }
        });
        timer->start(10);
        answering_.reset(timer);
    }

    std::unique_ptr<QTimer> answering_;
};

TEST_F(UiEntry, AnUnattendedStartThatWroteItsClocksExitsZero) {
    InsertTnt();
    std::vector<std::string> texts;
    AnswerBoxes(QMessageBox::Ok, texts);
    EXPECT_EQ(RunEntry("RIVA_TNT 100 100"), 0);
    EXPECT_TRUE(texts.empty());
    EXPECT_EQ(hw.Register(kMemPll), kTntMemAt100);
    EXPECT_EQ(hw.Register(kCorePll), kTntCoreAt100);
}

TEST_F(UiEntry, AnUnattendedStartWithARefusedClockExitsOne) {
    InsertTnt();
    std::vector<std::string> texts;
    AnswerBoxes(QMessageBox::Ok, texts);
    EXPECT_EQ(RunEntry("RIVA_TNT 200 100"), 1);
    EXPECT_EQ(texts, std::vector<std::string>{kMsgFrequencyOutOfRange});
}

TEST_F(UiEntry, AnInteractiveStartExitsZeroHoweverItEnds) {
    InsertTnt();
    std::vector<std::string> texts;
    AnswerBoxes(QMessageBox::Cancel, texts);
    EXPECT_EQ(RunEntry("RIVA_128 100 100"), 0);
    EXPECT_EQ(texts, (std::vector<std::string>{kWarningText, kMsgWrongChipset}));
    EXPECT_TRUE(hw.Writes().empty());
}

TEST_F(UiEntry, AMissingRunIsRefused) {
    EXPECT_EQ(tarvento_ui_run(nullptr), 1);
    const UiRun noChip{1, argv, nullptr, &store, "", kProgramPath, nullptr};
    EXPECT_EQ(tarvento_ui_run(&noChip), 1);
}

}  // namespace
}  // namespace tarvento::testing
