// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/autostart_notice_dialog.h"

#include <QKeyEvent>
#include <QLabel>
#include <QTimerEvent>
#include <utility>

#include "tuner/dialog_controls.h"
#include "ui/template_builder.h"

namespace tarvento::ui {

AutostartNoticeDialog::AutostartNoticeDialog(QString chipsetName, QWidget* parent)
    : QDialog(parent), chipsetName_(std::move(chipsetName)) {
    setObjectName(QStringLiteral("autostart_notice"));
    BuildDialog(*this, AutostartNoticeTemplate());
    setModal(true);
}

void AutostartNoticeDialog::OnInitDialog() {
    if (auto* name = qobject_cast<QLabel*>(FindControl(*this, kIdChipsetText))) name->setText(chipsetName_);
    ticks_ = 0;
    timer_ = startTimer(kTickMilliseconds);
    // Without a timer no tick comes: the window then waits for Escape or Enter.
}

int AutostartNoticeDialog::exec() {
    OnInitDialog();
    return QDialog::exec();
}

void AutostartNoticeDialog::timerEvent(QTimerEvent* event) {
    if (timer_ == 0 || event->timerId() != timer_) {
        QDialog::timerEvent(event);
        return;
    }
    ++ticks_;
    if (ticks_ == kClosingTick) reject();
}

void AutostartNoticeDialog::keyPressEvent(QKeyEvent* event) {
    // The window has no buttons: Enter is its OK, Escape its Cancel.
    if (!event->modifiers() || (event->modifiers() & Qt::KeypadModifier)) {
        if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
            accept();
            return;
        }
    }
    QDialog::keyPressEvent(event);
}

void AutostartNoticeDialog::done(int result) {
    // However it ends, no tick may arrive afterwards.
    if (timer_ != 0) {
        killTimer(timer_);
        timer_ = 0;
    }
    QDialog::done(result);
}

void AutostartNoticeDialog::accept() { done(kIdOk); }
void AutostartNoticeDialog::reject() { done(kIdCancel); }

}  // namespace tarvento::ui
