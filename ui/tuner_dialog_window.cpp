// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/tuner_dialog_window.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QGroupBox>
#include <QIcon>
#include <QLabel>
#include <QPushButton>
#include <QResizeEvent>
#include <QTimer>
#include <utility>

#include "ui/autostart_notice_dialog.h"
#include "ui/message_box_qt.h"
#include "ui/template_builder.h"
#include "ui/trackbar_slider.h"

namespace tarvento::ui {

namespace {

QIcon ApplicationIcon() {
    QIcon icon;
    icon.addFile(QStringLiteral(":/tarvento/icon128-32.png"), QSize(32, 32));
    icon.addFile(QStringLiteral(":/tarvento/icon128-16.png"), QSize(16, 16));
    return icon;
}

}  // namespace

TunerDialogWindow::TunerDialogWindow(TunerDialog::Environment environment,
                                     MessageBoxOwner* messages)
    : ownMessages_(messages ? nullptr : std::make_unique<QtMessageBox>(this)),
      messages_(messages ? messages : ownMessages_.get()),
      tuner_(*this, std::move(environment)) {
    setObjectName(QStringLiteral("tuner_window"));
    BuildDialog(*this, MainWindowTemplate());
    // The program's one main window is a top-level window of its own, not a dialog: a
    // dialog is tied to a hidden leader window, and window managers keep such windows
    // off their taskbars once minimised. Caption, buttons and fixed size stay as built.
    setWindowFlags((windowFlags() & ~Qt::WindowType_Mask) | Qt::Window);
    setWindowIcon(ApplicationIcon());
    ConnectControls();
}

TunerDialogWindow::~TunerDialogWindow() = default;

void TunerDialogWindow::ConnectControls() {
    auto button = [this](int id) { return qobject_cast<QAbstractButton*>(Control(id)); };
    connect(button(kIdSetClockNow), &QAbstractButton::clicked, this, [this] { tuner_.SetClockNow(); });
    connect(button(kIdPanic), &QAbstractButton::clicked, this, [this] { tuner_.RestoreClocks(); });
    connect(button(kIdCancel), &QAbstractButton::clicked, this, &TunerDialogWindow::reject);
    connect(button(kIdAutostartCheck), &QAbstractButton::clicked, this,
            [this] { tuner_.OnAutostartClicked(); });
    for (int id : {kIdMemTrackbar, kIdChipTrackbar}) {
        auto* slider = qobject_cast<TrackbarSlider*>(Control(id));
        connect(slider, &TrackbarSlider::userScrolled, this, [this, id] { tuner_.OnHScroll(id); });
    }
}

QWidget* TunerDialogWindow::Control(int id) const { return FindControl(*this, id); }

void TunerDialogWindow::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    // The controls sit at fixed places. Some window managers grant another program's
    // request to resize the window whatever its size hints say: ask for the fixed size
    // back, once the resize has been taken in. A manager that insists gets no loop, as a
    // size that does not change brings no further resize event.
    if (minimumSize() == maximumSize() && event->size() != minimumSize()) {
        QTimer::singleShot(0, this, [this] { resize(minimumSize()); });
    }
}

int TunerDialogWindow::exec() {
    endedDuringInit_.reset();
    initializing_ = true;
    tuner_.OnInitDialog();
    initializing_ = false;
    if (endedDuringInit_) {
        // Ended before it was ever shown (an unattended start, Cancel on the warning):
        // the window must not flash up.
        setResult(*endedDuringInit_);
        return *endedDuringInit_;
    }
    if (QWidget* first = FirstTabStop(*this, MainWindowTemplate())) first->setFocus(Qt::TabFocusReason);
    return QDialog::exec();
}

void TunerDialogWindow::EndDialog(int code) {
    if (initializing_) {
        endedDuringInit_ = code;
        return;
    }
    done(code);
}

// Escape, the Exit button and the window's close button all end the dialog as Cancel.
void TunerDialogWindow::reject() { EndDialog(kIdCancel); }
void TunerDialogWindow::accept() { EndDialog(kIdOk); }

std::string TunerDialogWindow::GetControlText(int id) {
    QWidget* control = Control(id);
    QString text;
    if (auto* label = qobject_cast<QLabel*>(control)) {
        text = label->text();
    } else if (auto* button = qobject_cast<QAbstractButton*>(control)) {
        text = button->text();
    } else if (auto* group = qobject_cast<QGroupBox*>(control)) {
        text = group->title();
    }
    return text.toStdString();
}

void TunerDialogWindow::SetControlText(int id, const std::string& text) {
    QWidget* control = Control(id);
    const QString value = QString::fromStdString(text);
    if (auto* label = qobject_cast<QLabel*>(control)) {
        label->setText(value);
    } else if (auto* button = qobject_cast<QAbstractButton*>(control)) {
        button->setText(value);
    } else if (auto* group = qobject_cast<QGroupBox*>(control)) {
        group->setTitle(value);
    }
}

int TunerDialogWindow::GetCheck(int id) {
    auto* box = qobject_cast<QCheckBox*>(Control(id));
    return box && box->isChecked() ? 1 : 0;
}

void TunerDialogWindow::SetCheck(int id, int checked) {
    // Setting the state from code is no click: nothing is connected to toggled.
    if (auto* box = qobject_cast<QCheckBox*>(Control(id))) box->setChecked(checked != 0);
}

void TunerDialogWindow::EnableControl(int id, bool enabled) {
    if (QWidget* control = Control(id)) control->setEnabled(enabled);
}

void TunerDialogWindow::SetTrackbarRange(int id, int minimum, int maximum) {
    if (auto* slider = qobject_cast<TrackbarSlider*>(Control(id))) slider->SetRangeQuietly(minimum, maximum);
}

void TunerDialogWindow::SetTrackbarPos(int id, int position) {
    if (auto* slider = qobject_cast<TrackbarSlider*>(Control(id))) slider->SetPositionQuietly(position);
}

int TunerDialogWindow::GetTrackbarPos(int id) {
    auto* slider = qobject_cast<TrackbarSlider*>(Control(id));
    return slider ? slider->value() : 0;
}

void TunerDialogWindow::RunAutostartNotice(const std::string& chipName) {
    AutostartNoticeDialog notice(QString::fromStdString(chipName));
    notice.exec();
}

MessageAnswer TunerDialogWindow::MessageBox(const std::string& text, MessageButtons buttons) {
    return messages_->MessageBox(text, buttons);
}

MessageAnswer TunerDialogWindow::InformativeMessageBox(const std::string& text, MessageButtons buttons,
                                                       const std::string& informativeText) {
    return messages_->InformativeMessageBox(text, buttons, informativeText);
}

}  // namespace tarvento::ui
