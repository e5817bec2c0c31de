#include "ui/trackbar_slider.h"

#include <QSignalBlocker>
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

}  // namespace tarvento::ui
