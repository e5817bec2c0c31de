// SPDX-License-Identifier: GPL-3.0-or-later
// The window library's entry point: what it hands the window, and the exit status it
// gives back for each way the window can end.
#include <unistd.h>

#include <QMessageBox>
#include <filesystem>
#include <fstream>

#include "keeping/apply_guard.h"
#include "tests/ui/ui_rig.h"
#include "texts/user_texts.h"
#include "ui/ui_entry.h"
#include "tests/support/temp_folder.h"

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

// The guard's refusals in the window: the owner's word on the kernel command line is no
// failure (a login's unit must not fail for it), a machine that did not survive is.
TEST_F(UiEntry, AnUnattendedStartTheGuardStopsExitsOneUnlessTheOwnerAskedForIt) {
    namespace fs = std::filesystem;
    struct Case {
        const char* cmdline;
        int status;
    };
    for (const Case& c : {Case{"quiet tarvento.noapply", 0}, Case{"quiet", 1}}) {
        SCOPED_TRACE(c.cmdline);
        const TempFolder folder;
        const fs::path& root = folder.Path();
        fs::create_directories(root / "proc/sys/kernel/random");
        std::ofstream(root / "proc/sys/kernel/random/boot_id") << "boot-2\n";
        std::ofstream(root / "proc/cmdline") << c.cmdline << "\n";
        std::ofstream(root / "last-apply") << FormatApplyRecord(
            {ApplyRecord::State::Pending, "boot-1", 1796700000, "RIVA_TNT", {120, 100}});
        ApplyGuard guard((root / "last-apply").string(), ApplySource::Login,
                         GuardMachine{(root / "proc").string()});
        InsertTnt();
        std::vector<std::string> texts;
        AnswerBoxes(QMessageBox::Ok, texts);
        const UiRun run{1, argv, &chip, &store, "RIVA_TNT 100 100", kProgramPath, &guard};
        EXPECT_EQ(tarvento_ui_run(&run), c.status);
        EXPECT_EQ(texts, std::vector<std::string>{kMsgClocksNotApplied});
        EXPECT_TRUE(hw.Writes().empty());
    }
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
