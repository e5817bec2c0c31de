// SPDX-License-Identifier: GPL-3.0-or-later
// The main window under the keyboard and the frame: where the focus starts and goes,
// what Enter presses, and the three ways out that all mean Cancel.
#include <QPushButton>
#include <QTest>

#include "tests/ui/ui_rig.h"
#include "texts/user_texts.h"

namespace tarvento::testing {
namespace {

using WindowKeyboard = UiRig;

QWidget* Focused(QWidget& window) { return window.focusWidget(); }

void Press(QWidget& window, int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QWidget* target = Focused(window) ? Focused(window) : &window;
    QTest::keyClick(target, static_cast<Qt::Key>(key), modifiers);
}

TEST_F(WindowKeyboard, FocusStartsOnSetClockNowAndTabFollowsTheTemplate) {
    InsertTnt();
    MakeWindow();
    std::vector<int> visited;
    const int code = Run([&](ui::TunerDialogWindow& w) {
        ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
        for (int i = 0; i < 7; ++i) {
            visited.push_back(Focused(w) ? Focused(w)->objectName().mid(4).toInt() : 0);
            Press(w, Qt::Key_Tab);
        }
        SaveGrab(w, QStringLiteral("main-window-tnt"));
        w.reject();
    });
    EXPECT_EQ(code, kIdCancel);
    EXPECT_EQ(visited, (std::vector<int>{kIdSetClockNow, kIdCancel, kIdMemTrackbar, kIdChipTrackbar,
                                         kIdAutostartCheck, kIdPanic, kIdSetClockNow}));
}

TEST_F(WindowKeyboard, EscapeExitAndTheCloseButtonEachEndTheDialogAsCancel) {
    InsertTnt();
    const std::function<void(ui::TunerDialogWindow&)> ways[] = {
        [](ui::TunerDialogWindow& w) { Press(w, Qt::Key_Escape); },
        [](ui::TunerDialogWindow& w) {
            QTest::mouseClick(w.Control(kIdCancel), Qt::LeftButton);
        },
        [](ui::TunerDialogWindow& w) { w.close(); },  // what the frame's close button does
    };
    int way = 0;
    for (const auto& leave : ways) {
        SCOPED_TRACE(way++);
        MakeWindow();
        messages.shown.clear();
        EXPECT_EQ(Run(leave), kIdCancel);
        EXPECT_FALSE(window->isVisible());
        EXPECT_EQ(messages.Texts(), std::vector<std::string>{kWarningText}) << "leaving asks nothing";
    }
    EXPECT_TRUE(hw.Writes().empty()) << "closing restores no clock";
}

TEST_F(WindowKeyboard, EnterPressesSetClockNowUnlessAnotherButtonHasTheFocus) {
    InsertTnt();
    MakeWindow();
    Run([&](ui::TunerDialogWindow& w) {
        ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
        messages.shown.clear();

        // From a slider, Enter reaches the default button.
        w.Control(kIdMemTrackbar)->setFocus();
        Press(w, Qt::Key_Return);
        EXPECT_EQ(messages.Texts(), std::vector<std::string>{kWarningText});
        messages.shown.clear();

        // The focused push button takes Enter instead: Panic ! with nothing changed.
        w.Control(kIdPanic)->setFocus();
        Press(w, Qt::Key_Enter, Qt::KeypadModifier);
        EXPECT_EQ(messages.Texts(), std::vector<std::string>{kMsgDontPanic});
        messages.shown.clear();

        // And Exit, focused, ends the dialog on Enter.
        w.Control(kIdCancel)->setFocus();
        Press(w, Qt::Key_Return);
        EXPECT_FALSE(w.isVisible());
    });
    ASSERT_EQ(hw.Writes().size(), 2u) << "Set Clock now wrote the window's clocks once";
}

TEST_F(WindowKeyboard, AltAClicksTheAutostartCheckBoxAndWritesTheEntry) {
    InsertTnt();
    MakeWindow();
    Run([&](ui::TunerDialogWindow& w) {
        ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
        Press(w, Qt::Key_A, Qt::AltModifier);
        // The mnemonic clicks the box the way a mouse would, after a short press.
        QTRY_COMPARE(w.GetCheck(kIdAutostartCheck), 1);
        QTRY_VERIFY(store.StoredEntry().has_value());
        w.reject();
    });
    EXPECT_EQ(store.StoredEntry().value_or(""), std::string(kProgramPath) + " RIVA_TNT 89 90");
    EXPECT_EQ(Text(kIdAutoMemText), "89");
    EXPECT_EQ(Text(kIdAutoChipText), "90");
}

TEST_F(WindowKeyboard, TheHelpKeyDoesNothing) {
    InsertTnt();
    MakeWindow();
    const int code = Run([&](ui::TunerDialogWindow& w) {
        ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
        messages.shown.clear();
        Press(w, Qt::Key_F1);
        Press(w, Qt::Key_F1, Qt::ShiftModifier);
        EXPECT_TRUE(w.isVisible());
        EXPECT_TRUE(messages.shown.empty());
        EXPECT_EQ(QApplication::activeModalWidget(), &w);
        w.reject();
    });
    EXPECT_EQ(code, kIdCancel);
}

}  // namespace
}  // namespace tarvento::testing
