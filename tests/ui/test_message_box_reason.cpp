// SPDX-License-Identifier: GPL-3.0-or-later
// A box that says why: the message stays exactly as given, the reason is the box's
// informative text written as a sentence, and no button is added.
#include <QAbstractButton>
#include <QMessageBox>
#include <QTest>

#include "tests/ui/ui_rig.h"
#include "texts/user_texts.h"
#include "ui/message_box_qt.h"

namespace tarvento::testing {
namespace {

struct SeenBox {
    QString text, informative;
    QMessageBox::StandardButtons buttons;
    int buttonCount = 0;
};

SeenBox ShowAndRead(ui::QtMessageBox& boxes, const std::string& reason) {
    SeenBox seen;
    WhenReady([] { return QApplication::activeModalWidget() != nullptr; }, [&seen] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        seen.text = box->text();
        seen.informative = box->informativeText();
        seen.buttons = box->standardButtons();
        seen.buttonCount = static_cast<int>(box->buttons().size());
        QTest::mouseClick(box->button(QMessageBox::Ok), Qt::LeftButton);
    });
    EXPECT_EQ(boxes.InformativeMessageBox(kMsgPciAccessFailed, MessageButtons::Ok, reason), MessageAnswer::Ok);
    return seen;
}

class MessageBoxReason : public UiRig {};

TEST_F(MessageBoxReason, TheReasonIsTheInformativeTextAndTheMessageStaysExact) {
    QWidget owner;
    ui::QtMessageBox boxes(&owner);
    const SeenBox seen = ShowAndRead(boxes, "you are not in the group tarvento, which may reach the card's "
                                            "registers: sudo usermod -aG tarvento $USER, then log in again");
    EXPECT_EQ(seen.text, QString("PCI/AGP access failed !"));
    EXPECT_EQ(seen.informative, QString("You are not in the group tarvento, which may reach the card's "
                                        "registers: sudo usermod -aG tarvento $USER, then log in again."));
    EXPECT_EQ(seen.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    EXPECT_EQ(seen.buttonCount, 1) << "no Show Details or other button";
}

TEST_F(MessageBoxReason, NoReasonNoInformativeText) {
    QWidget owner;
    ui::QtMessageBox boxes(&owner);
    EXPECT_TRUE(ShowAndRead(boxes, "").informative.isEmpty());
    // A reason that already ends its sentence gets no second period.
    EXPECT_EQ(ShowAndRead(boxes, "/sys/x is gone.").informative, QString("/sys/x is gone."));
}

}  // namespace
}  // namespace tarvento::testing
