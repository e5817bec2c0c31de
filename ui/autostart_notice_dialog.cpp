#include "ui/autostart_notice_dialog.h"

#include <QKeyEvent>
#include <QLabel>
#include <QTimerEvent>
#include <utility>

#include "tuner/dialog_controls.h"
#include "ui/template_builder.h"

namespace tarvento::ui {

AutostartNoticeDialog::AutostartNoticeDialog(QString chipsetName, QWidget* parent)
    : QDialog(parent), m_chipsetName(std::move(chipsetName)) {
    setObjectName(QStringLiteral("autostart_notice"));
    BuildDialog(*this, AutostartNoticeTemplate());
    setModal(true);
}

void AutostartNoticeDialog::OnInitDialog() {
    if (auto* name = qobject_cast<QLabel*>(FindControl(*this, kIdChipsetText))) name->setText(m_chipsetName);
    m_ticks = 0;
    m_timer = startTimer(kTickMilliseconds);
    // Without a timer no tick comes: the window then waits for Escape or Enter.
}

int AutostartNoticeDialog::exec() {
    OnInitDialog();
    return QDialog::exec();
}

void AutostartNoticeDialog::timerEvent(QTimerEvent* event) {
    if (m_timer == 0 || event->timerId() != m_timer) {
        QDialog::timerEvent(event);
        return;
    }
    ++m_ticks;
    if (m_ticks == kClosingTick) reject();
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
    if (m_timer != 0) {
        killTimer(m_timer);
        m_timer = 0;
    }
    QDialog::done(result);
}

void AutostartNoticeDialog::accept() { done(kIdOk); }
void AutostartNoticeDialog::reject() { done(kDialogCancel); }

}  // namespace tarvento::ui
