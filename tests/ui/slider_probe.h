// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QApplication>
#include <QMouseEvent>
#include <QPoint>
#include <QSlider>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QTest>
#include <QWheelEvent>

namespace tarvento::testing {

// Where a slider's handle is drawn now, in the slider's coordinates.
inline QRect HandleRect(QSlider* slider) {
    QStyleOptionSlider option;
    option.initFrom(slider);
    option.subControls = QStyle::SC_None;
    option.activeSubControls = QStyle::SC_None;
    option.orientation = slider->orientation();
    option.maximum = slider->maximum();
    option.minimum = slider->minimum();
    option.tickPosition = slider->tickPosition();
    option.tickInterval = slider->tickInterval();
    option.upsideDown = slider->invertedAppearance();
    option.direction = slider->layoutDirection();
    option.sliderPosition = slider->sliderPosition();
    option.sliderValue = slider->value();
    option.singleStep = slider->singleStep();
    option.pageStep = slider->pageStep();
    return slider->style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, slider);
}

// A user's drag of the handle by `dx` pixels, in `steps` mouse moves.
inline void DragHandle(QSlider* slider, int dx, int steps) {
    const QPoint start = HandleRect(slider).center();
    QTest::mousePress(slider, Qt::LeftButton, Qt::NoModifier, start);
    for (int i = 1; i <= steps; ++i) {
        const QPoint at = start + QPoint(dx * i / steps, 0);
#if QT_VERSION >= QT_VERSION_CHECK(6, 0, 0)
        QTest::mouseMove(slider, at);
#else
        // Qt 5's mouseMove on a widget only moves the cursor, which the offscreen platform
        // does not turn into a drag: send the move with the button held, as a drag is.
        QMouseEvent move(QEvent::MouseMove, at, slider->mapToGlobal(at), Qt::NoButton,
                         Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(slider, &move);
#endif
    }
    QTest::mouseRelease(slider, Qt::LeftButton, Qt::NoModifier, start + QPoint(dx, 0));
}

// One notch of the mouse wheel over the slider, away from the user.
inline void WheelUp(QSlider* slider) {
    const QPointF at = QRectF(slider->rect()).center();
    QWheelEvent wheel(at, slider->mapToGlobal(QPoint(0, 0)) + at, QPoint(), QPoint(0, 120), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(slider, &wheel);
}

}  // namespace tarvento::testing
