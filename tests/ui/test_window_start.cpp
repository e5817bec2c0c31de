// SPDX-License-Identifier: GPL-3.0-or-later
// How the main window starts: the start sequence runs before the window is shown, a
// start that ends the dialog never shows it, and the unattended start shows only the
// notice.
#include <QEvent>
#include <QLabel>
#include <QTest>

#include "tests/ui/ui_rig.h"
#include "texts/user_texts.h"
#include "ui/autostart_notice_dialog.h"

namespace tarvento::testing {
namespace {

// Counts how often a widget was shown.
class ShowCounter : public QObject {
public:
    int shows = 0;
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Show) ++shows;
        return false;
    }
};

class WindowStart : public UiRig {
protected:
    ShowCounter showCounter;
    void Watch() { window->installEventFilter(&showCounter); }
};

TEST_F(WindowStart, TheWindowShowsTheChipsClocksAfterTheWarning) {
    InsertTnt();
    MakeWindow();
    Watch();
    messages.answers = {MessageAnswer::Ok};
    std::vector<std::string> beforeShown;
    Run([&](ui::TunerDialogWindow& w) {
        beforeShown = messages.Texts();
        EXPECT_EQ(Text(kIdChipsetText), "RIVA_TNT");
        EXPECT_EQ(Text(kIdMemClockText), "89");
        EXPECT_EQ(Text(kIdChipClockText), "90");
        EXPECT_EQ(Text(kIdAutoMemText), kNoValueText);
        EXPECT_EQ(Text(kIdAutoChipText), kNoValueText);
        EXPECT_EQ(w.GetCheck(kIdAutostartCheck), 0);
        EXPECT_EQ(w.windowTitle(), QString::fromUtf8(kWindowCaption));
        const QList<QSize> sizes = w.windowIcon().availableSizes();
        EXPECT_TRUE(sizes.contains(QSize(32, 32)) && sizes.contains(QSize(16, 16)));
        w.reject();
    });
    EXPECT_EQ(beforeShown, std::vector<std::string>{kWarningText}) << "warned before it is shown";
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].buttons, MessageButtons::OkCancel);
    EXPECT_EQ(showCounter.shows, 1);
}

TEST_F(WindowStart, CancelOnTheWarningEndsTheRunWithoutShowingTheWindow) {
    InsertTnt();
    MakeWindow("RIVA_128 100 100");
    Watch();
    messages.answers = {MessageAnswer::Cancel};
    EXPECT_EQ(window->exec(), kIdCancel);
    EXPECT_EQ(showCounter.shows, 0);
    // The remaining steps of the start still speak.
    EXPECT_EQ(messages.Texts(), (std::vector<std::string>{kWarningText, kMsgWrongChipset}));
    // Below the wrong name, in the box's informative text, the card there is.
    ASSERT_EQ(messages.shown.size(), 2u);
    EXPECT_EQ(messages.shown[1].informativeText, "the card found is a RIVA_TNT (10DE:0020) at 0000:01:00.0");
    EXPECT_TRUE(hw.Writes().empty());
}

TEST_F(WindowStart, AnUnattendedStartShowsOnlyTheNoticeAndEnds) {
    InsertTnt();
    MakeWindow("RIVA_TNT 100 100");
    Watch();
    QString noticeText;
    bool mainWindowVisible = true;
    WhenReady([] { return qobject_cast<ui::AutostartNoticeDialog*>(QApplication::activeModalWidget()); },
              [&] {
                  auto* notice = qobject_cast<ui::AutostartNoticeDialog*>(QApplication::activeModalWidget());
                  auto* label = qobject_cast<QLabel*>(ui::FindControl(*notice, kIdChipsetText));
                  noticeText = label ? label->text() : QString();
                  mainWindowVisible = window->isVisible();
                  // The clocks are on the chip before the notice appears.
                  EXPECT_EQ(hw.Register(kMemPll), kTntMemAt100);
                  EXPECT_EQ(hw.Register(kCorePll), kTntCoreAt100);
              });
    QElapsedTimer clock;
    clock.start();
    EXPECT_EQ(window->exec(), kIdCancel);
    EXPECT_LT(clock.elapsed(), 3000);

    EXPECT_EQ(noticeText, QStringLiteral("RIVA_TNT"));
    EXPECT_FALSE(mainWindowVisible);
    EXPECT_EQ(showCounter.shows, 0) << "an unattended start must not flash the main window";
    EXPECT_TRUE(messages.shown.empty()) << "no warning";
    EXPECT_TRUE(window->Tuner().UnattendedStartSucceeded());
}

TEST_F(WindowStart, WithoutARecognisedChipOnlyExitIsThereToUse) {
    InsertCard(0x1002, 0x4755);  // some other maker's card
    MakeWindow();
    Run([&](ui::TunerDialogWindow& w) {
        EXPECT_EQ(Text(kIdChipsetText), kChipsetUnknown);
        for (int id : {kIdMemTrackbar, kIdChipTrackbar, kIdSetClockNow, kIdPanic, kIdAutostartCheck}) {
            EXPECT_FALSE(w.Control(id)->isEnabled()) << id;
        }
        // The focus starts on the first tab stop that can take it.
        EXPECT_EQ(w.focusWidget(), w.Control(kIdCancel));
        SaveGrab(w, QStringLiteral("main-window-no-chip"));
        QTest::keyClick(w.focusWidget(), Qt::Key_Return);  // presses Exit
        EXPECT_FALSE(w.isVisible());
    });
    EXPECT_TRUE(hw.Writes().empty());
    EXPECT_TRUE(store.Changes().empty());
}

}  // namespace
}  // namespace tarvento::testing
