// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/trackbar_slider.h"

#include <QPainter>
#include <QPolygon>
#include <QSignalBlocker>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QStylePainter>
#include <algorithm>

namespace tarvento::ui {

TrackbarSlider::TrackbarSlider(QWidget* parent) : QSlider(Qt::Horizontal, parent) {
    setTickPosition(QSlider::NoTicks);
    setTracking(true);  // the fields follow the thumb while it is dragged
    setSingleStep(1);
    SetRangeQuietly(0, 100);
    connect(this, &QAbstractSlider::actionTriggered, this, &TrackbarSlider::OnActionTriggered);
    connect(this, &QAbstractSlider::valueChanged, this, &TrackbarSlider::OnValueChanged);
    connect(this, &QAbstractSlider::sliderReleased, this, &TrackbarSlider::userScrolled);
}

void TrackbarSlider::SetRangeQuietly(int minimum, int maximum) {
    const QSignalBlocker quiet(this);
    setRange(minimum, maximum);
    setPageStep(std::max(1, (this->maximum() - this->minimum()) / 5));
}

void TrackbarSlider::SetPositionQuietly(int position) {
    const QSignalBlocker quiet(this);
    setValue(position);  // QAbstractSlider clamps to the range
}

// Every user move goes through an action (keys, wheel, groove clicks, dragging with
// tracking); the value then changes, or stays put at a limit. Only a change that follows
// an action is the user's.
void TrackbarSlider::OnActionTriggered(int) { userActionPending_ = true; }

void TrackbarSlider::OnValueChanged(int) {
    if (!userActionPending_) return;
    userActionPending_ = false;
    emit userScrolled();
}

bool TrackbarSlider::event(QEvent* e) {
    const bool handled = QSlider::event(e);
    // An action that left the value where it was (a key pressed at a limit) is still a
    // move the user made.
    if (userActionPending_) {
        userActionPending_ = false;
        emit userScrolled();
    }
    return handled;
}

QRect TrackbarSlider::ThumbRect() const {
    QStyleOptionSlider option;
    initStyleOption(&option);
    return style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, this);
}

// Styles draw a thumb that points nowhere, or down, unless tick marks are drawn above.
// The style keeps the groove and the focus; the thumb is drawn here, in the very
// rectangle the style gives it, so neither its size nor the track moves a pixel.
void TrackbarSlider::paintEvent(QPaintEvent*) {
    QStylePainter painter(this);
    QStyleOptionSlider option;
    initStyleOption(&option);
    option.subControls = QStyle::SC_SliderGroove;
    painter.drawComplexControl(QStyle::CC_Slider, option);

    const QRect r = ThumbRect();
    if (r.width() < 3 || r.height() < 3) return;
    const int left = r.left(), right = r.right(), top = r.top(), bottom = r.bottom();
    const int middle = left + (r.width() - 1) / 2;
    // The point rises over half the thumb's width, as a trackbar's does.
    const int shoulder = top + std::min((r.width() - 1) / 2, (r.height() - 1) / 2);
    const QPolygon outline({QPoint(left, bottom), QPoint(left, shoulder), QPoint(middle, top),
                            QPoint(right, shoulder), QPoint(right, bottom)});

    const QPalette& pal = palette();
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setPen(Qt::NoPen);
    painter.setBrush(pal.button());
    painter.drawPolygon(outline);
    // A raised edge: light on the left and the rising slope, dark on the right, the
    // falling slope and the bottom.
    painter.setPen(pal.color(QPalette::Light));
    painter.drawPolyline(QPolygon({QPoint(left, bottom - 1), QPoint(left, shoulder), QPoint(middle, top)}));
    painter.setPen(pal.color(QPalette::Shadow));
    painter.drawPolyline(QPolygon({QPoint(middle, top), QPoint(right, shoulder), QPoint(right, bottom),
                                   QPoint(left, bottom)}));
    painter.setPen(pal.color(QPalette::Dark));
    painter.drawPolyline(QPolygon({QPoint(middle + 1, top + 1), QPoint(right - 1, shoulder),
                                   QPoint(right - 1, bottom - 1), QPoint(left + 1, bottom - 1)}));
}

}  // namespace tarvento::ui
