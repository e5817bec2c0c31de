// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>
#include <QString>

class QKeyEvent;
class QTimerEvent;

namespace tarvento::ui {

// The small window an unattended start shows: it names the chip and closes itself on
// the third tick of a 500 ms timer, about 1.5 s after it started. Escape (Cancel) and
// Enter (OK) close it at once.
class AutostartNoticeDialog : public QDialog {
    Q_OBJECT

public:
    static constexpr int kTickMilliseconds = 500;
    static constexpr int kClosingTick = 3;

    explicit AutostartNoticeDialog(QString chipsetName, QWidget* parent = nullptr);

    // Starts the window (chip name, timer) and runs it modally.
    int exec() override;
    void done(int result) override;
    void accept() override;
    void reject() override;

    const QString& ChipsetName() const { return chipsetName_; }
    int TimerId() const { return timer_; }  // 0 when no timer runs
    int Ticks() const { return ticks_; }

protected:
    void timerEvent(QTimerEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void OnInitDialog();

    QString chipsetName_;
    int timer_ = 0;
    int ticks_ = 0;
};

}  // namespace tarvento::ui
