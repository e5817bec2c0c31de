// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/message_box_qt.h"

#include <QAbstractButton>
#include <QIcon>
#include <QMessageBox>

#include "chip/running_program.h"

namespace tarvento::ui {

MessageAnswer QtMessageBox::MessageBox(const std::string& text, MessageButtons buttons) {
    return InformativeMessageBox(text, buttons, std::string());
}

// The reason is written as one sentence: a capital first letter and a final period.
MessageAnswer QtMessageBox::InformativeMessageBox(const std::string& text, MessageButtons buttons,
                                                  const std::string& informativeText) {
    const bool okCancel = buttons == MessageButtons::OkCancel;
    // A box shown before its window (the start warning) has nothing to centre on: it
    // goes to the middle of the screen like a box without an owner.
    QWidget* owner = owner_ && owner_->isVisible() ? owner_.data() : nullptr;
    QMessageBox box(QMessageBox::Warning, QString::fromStdString(ProgramName()),
                    QString::fromStdString(text),
                    okCancel ? (QMessageBox::Ok | QMessageBox::Cancel) : QMessageBox::Ok,
                    owner);
    // The buttons carry their text only, whatever icons the desktop's style offers.
    for (QAbstractButton* button : box.buttons()) button->setIcon(QIcon());
    // Shown as written: no rich-text guessing, line breaks kept.
    box.setTextFormat(Qt::PlainText);
    box.setObjectName(QStringLiteral("message_box"));
    if (!informativeText.empty()) {
        QString reason = QString::fromStdString(informativeText);
        reason[0] = reason[0].toUpper();
        if (!reason.endsWith(QLatin1Char('.'))) reason += QLatin1Char('.');
        box.setInformativeText(reason);
    }
    if (okCancel) {
        box.setDefaultButton(QMessageBox::Cancel);
        box.setEscapeButton(QMessageBox::Cancel);
    } else {
        box.setDefaultButton(QMessageBox::Ok);
        box.setEscapeButton(QMessageBox::Ok);
    }
    // Closing the box by its frame counts as its escape answer.
    return box.exec() == QMessageBox::Ok ? MessageAnswer::Ok
           : okCancel                    ? MessageAnswer::Cancel
                                         : MessageAnswer::Ok;
}

}  // namespace tarvento::ui
