// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/modal_frame.h"

#include <QEvent>
#include <QObject>
#include <QPainter>
#include <QWidget>
#include <qdrawutil.h>

namespace tarvento::ui {

namespace {

// Paints the frame before the dialog paints itself; the dialog's own painting (its
// background) does not reach the frame, which lies outside its controls.
class ModalFramePainter : public QObject {
public:
    explicit ModalFramePainter(QWidget& dialog) : QObject(&dialog), dialog_(dialog) {}

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == &dialog_ && event->type() == QEvent::Paint) {
            QPainter painter(&dialog_);
            // Two raised edges (light and shadow outside, midlight and dark inside), then
            // one line of the face colour.
            qDrawWinPanel(&painter, dialog_.rect(), dialog_.palette(), false);
            painter.setPen(dialog_.palette().color(QPalette::Window));
            painter.drawRect(dialog_.rect().adjusted(2, 2, -3, -3));
        }
        return false;
    }

private:
    QWidget& dialog_;
};

}  // namespace

void AddModalFrame(QWidget& dialog) { dialog.installEventFilter(new ModalFramePainter(dialog)); }

}  // namespace tarvento::ui
