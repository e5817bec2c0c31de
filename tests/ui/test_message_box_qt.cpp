// SPDX-License-Identifier: GPL-3.0-or-later
// Real message boxes, found as the active modal window and answered with real keys and
// clicks: icon, caption, exact text, buttons, and which answer Enter and Escape give.
#include <QAbstractButton>
#include <QMessageBox>
#include <QProxyStyle>
#include <QPushButton>
#include <QScreen>
#include <QTest>

#include "chip/running_program.h"
#include "tests/ui/ui_rig.h"
#include "texts/user_texts.h"
#include "ui/message_box_qt.h"

namespace tarvento::testing {
namespace {

QMessageBox* ActiveBox() { return qobject_cast<QMessageBox*>(QApplication::activeModalWidget()); }

struct Seen {
    QString title, text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons;
    QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
    QMessageBox::StandardButton escapeButton = QMessageBox::NoButton;
    QWidget* owner = nullptr;
    QRect frame;                 // where the box stood
    std::vector<bool> buttonIcons;  // whether each button carried an icon
};

// Records the next box that comes up, then does `answer` to it.
void AnswerNextBox(Seen& seen, std::function<void(QMessageBox&)> answer) {
    WhenReady([] { return ActiveBox() && ActiveBox()->isVisible(); }, [&seen, answer] {
        QMessageBox& box = *ActiveBox();
        seen.title = box.windowTitle();
        seen.text = box.text();
        seen.icon = box.icon();
        seen.buttons = box.standardButtons();
        seen.defaultButton = box.standardButton(box.defaultButton());
        seen.escapeButton = box.standardButton(box.escapeButton());
        seen.owner = box.parentWidget();
        seen.frame = box.frameGeometry();
        for (QAbstractButton* b : box.buttons()) seen.buttonIcons.push_back(!b->icon().isNull());
        answer(box);
    });
}

void PressOn(QMessageBox& box, Qt::Key key) {
    QWidget* target = box.focusWidget() ? box.focusWidget() : &box;
    QTest::keyClick(target, key);
}

class RealMessageBox : public UiRig {};

TEST_F(RealMessageBox, TheWarningOffersOkAndCancelWithCancelTheDefault) {
    QWidget owner;
    owner.show();
    ui::QtMessageBox boxes(&owner);
    const struct {
        const char* how;
        std::function<void(QMessageBox&)> answer;
        MessageAnswer expected;
    } cases[] = {
        {"Enter", [](QMessageBox& b) { PressOn(b, Qt::Key_Return); }, MessageAnswer::Cancel},
        {"Escape", [](QMessageBox& b) { PressOn(b, Qt::Key_Escape); }, MessageAnswer::Cancel},
        {"click OK", [](QMessageBox& b) { QTest::mouseClick(b.button(QMessageBox::Ok), Qt::LeftButton); },
         MessageAnswer::Ok},
        {"close", [](QMessageBox& b) { b.close(); }, MessageAnswer::Cancel},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.how);
        Seen seen;
        AnswerNextBox(seen, c.answer);
        EXPECT_EQ(boxes.MessageBox(kWarningText, MessageButtons::OkCancel), c.expected);
        EXPECT_EQ(seen.title.toStdString(), ProgramName());
        EXPECT_EQ(seen.text.toStdString(), kWarningText) << "every line break kept";
        EXPECT_EQ(seen.icon, QMessageBox::Warning);
        EXPECT_EQ(seen.buttons, QMessageBox::Ok | QMessageBox::Cancel);
        EXPECT_EQ(seen.defaultButton, QMessageBox::Cancel);
        EXPECT_EQ(seen.escapeButton, QMessageBox::Cancel);
        EXPECT_EQ(seen.owner, &owner);
    }
}

TEST_F(RealMessageBox, PanicWithNothingChangedShowsTheAcuteAccentInARealBox) {
    InsertTnt();
    MakeWindow("", /*realBoxes=*/true);
    Seen warning, panic;
    // The warning comes up while the start sequence runs, before the window is shown.
    AnswerNextBox(warning, [](QMessageBox& b) {
        QTest::mouseClick(b.button(QMessageBox::Ok), Qt::LeftButton);
    });
    const int code = Run([&](ui::TunerDialogWindow& w) {
        AnswerNextBox(panic, [&w](QMessageBox& b) {
            PressOn(b, Qt::Key_Escape);  // an OK-only box answers Escape with OK
            QTimer::singleShot(0, &w, [&w] { w.reject(); });
        });
        QTest::mouseClick(w.Control(kIdPanic), Qt::LeftButton);
    });
    EXPECT_EQ(code, kIdCancel);
    EXPECT_EQ(warning.text.toStdString(), kWarningText);
    // Shown before the window, it stands in the middle of the screen, not over the
    // hidden window's corner.
    EXPECT_EQ(warning.owner, nullptr);
    const QPoint screenMiddle = QApplication::primaryScreen()->availableGeometry().center();
    EXPECT_LE((warning.frame.center() - screenMiddle).manhattanLength(), 100)
        << "the box's middle " << warning.frame.center().x() << "," << warning.frame.center().y();
    // U+00B4, the acute accent, not an apostrophe.
    EXPECT_EQ(panic.text, QStringLiteral("Don") + QChar(0x00B4) + QStringLiteral("t Panic !"));
    EXPECT_EQ(panic.buttons, QMessageBox::Ok);
    EXPECT_EQ(panic.icon, QMessageBox::Warning);
    EXPECT_EQ(panic.owner, window.get()) << "modal to the main window";
    EXPECT_TRUE(hw.Writes().empty());
}

TEST_F(RealMessageBox, EscapeOnTheWarningLeavesBeforeTheWindowIsEverShown) {
    InsertTnt();
    MakeWindow("", /*realBoxes=*/true);
    Seen seen;
    bool windowVisible = true;
    AnswerNextBox(seen, [&](QMessageBox& b) {
        windowVisible = window->isVisible();
        SaveGrab(b, QStringLiteral("warning-box"));
        PressOn(b, Qt::Key_Escape);
    });
    EXPECT_EQ(window->exec(), kIdCancel);
    EXPECT_FALSE(windowVisible);
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(seen.text.toStdString(), kWarningText);
}

// A style that puts icons on dialog buttons, as several desktops' styles do.
class IconButtonsStyle : public QProxyStyle {
public:
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* data) const override {
        if (hint == SH_DialogButtonBox_ButtonsHaveIcons) return 1;
        return QProxyStyle::styleHint(hint, option, widget, data);
    }
};

TEST_F(RealMessageBox, ButtonsCarryOnlyTheirTextEvenWhenTheStyleOffersIcons) {
    const QString styleName = QApplication::style()->objectName();
    QApplication::setStyle(new IconButtonsStyle);
    QWidget owner;
    owner.show();
    ui::QtMessageBox boxes(&owner);
    for (MessageButtons buttons : {MessageButtons::Ok, MessageButtons::OkCancel}) {
        Seen seen;
        AnswerNextBox(seen, [](QMessageBox& b) { PressOn(b, Qt::Key_Escape); });
        boxes.MessageBox(kMsgPciAccessFailed, buttons);
        ASSERT_EQ(seen.buttonIcons.size(), buttons == MessageButtons::Ok ? 1u : 2u);
        for (bool icon : seen.buttonIcons) EXPECT_FALSE(icon);
        EXPECT_EQ(seen.owner, &owner) << "a box over a shown window is owned by it";
    }
    QApplication::setStyle(styleName);
}

}  // namespace
}  // namespace tarvento::testing
