// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QSlider>

namespace tarvento::ui {

// A horizontal slider that behaves like a trackbar: the program's own moves are silent,
// and every move by the user (drag, keys, wheel, clicks on the groove, the end of a
// drag) is reported through userScrolled, even one that leaves the position unchanged.
// QSlider::valueChanged cannot tell the two apart, so it is not what the window hears.
// It shows no tick marks, and its thumb points up.
class TrackbarSlider : public QSlider {
    Q_OBJECT

public:
    explicit TrackbarSlider(QWidget* parent = nullptr);

    // Sets the range without a notification; the position is moved into it. The page
    // step follows the range (a fifth of it), as a trackbar's does.
    void SetRangeQuietly(int minimum, int maximum);
    // Shows `position`, or the nearest limit when it lies outside the range, without a
    // notification.
    void SetPositionQuietly(int position);

    // Where the thumb stands: the rectangle the style gives it with no tick marks.
    QRect ThumbRect() const;

signals:
    void userScrolled();

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void OnActionTriggered(int action);
    void OnValueChanged(int value);

    bool userActionPending_ = false;
};

}  // namespace tarvento::ui
