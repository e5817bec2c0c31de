// SPDX-License-Identifier: GPL-3.0-or-later
// How a trackbar looks: its thumb points up from the place and size the style gives it,
// and no tick marks are drawn. Checked on the pixels the slider paints.
#include <QDialog>
#include <QImage>
#include <QStyle>
#include <QStyleOptionSlider>

#include "tests/ui/ui_rig.h"
#include "ui/dialog_template.h"
#include "ui/trackbar_slider.h"

namespace tarvento::testing {
namespace {

// The thumb's rectangle as the style places it for a slider with no tick marks.
QRect StyleThumbRect(const QSlider& slider) {
    QStyleOptionSlider option;
    option.initFrom(&slider);
    option.orientation = Qt::Horizontal;
    option.minimum = slider.minimum();
    option.maximum = slider.maximum();
    option.sliderPosition = slider.sliderPosition();
    option.sliderValue = slider.value();
    option.singleStep = slider.singleStep();
    option.pageStep = slider.pageStep();
    option.tickPosition = QSlider::NoTicks;
    option.upsideDown = slider.invertedAppearance();
    option.subControls = QStyle::SC_All;
    return slider.style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, &slider);
}

// How many pixels of row `y`, between `left` and `right`, differ from `background`,
// and the first and last of them.
struct RowInk {
    int count = 0, first = -1, last = -1;
};
RowInk InkIn(const QImage& image, int y, int left, int right, QRgb background) {
    RowInk ink;
    for (int x = left; x <= right; ++x) {
        if (image.pixel(x, y) == background) continue;
        if (ink.count++ == 0) ink.first = x;
        ink.last = x;
    }
    return ink;
}

class TrackbarLook : public ::testing::Test {
protected:
    void SetUp() override { TestApplication(); }
};

TEST_F(TrackbarLook, TheThumbPointsUpAndNoTickMarksAreDrawn) {
    QDialog dialog;
    ui::BuildDialog(dialog, ui::MainWindowTemplate());
    for (int id : {kIdMemTrackbar, kIdChipTrackbar}) {
        SCOPED_TRACE(id);
        auto* slider = qobject_cast<ui::TrackbarSlider*>(ui::FindControl(dialog, id));
        ASSERT_NE(slider, nullptr);
        slider->SetRangeQuietly(80, 145);
        slider->SetPositionQuietly(110);
        EXPECT_EQ(slider->tickPosition(), QSlider::NoTicks);

        QImage image(slider->size(), QImage::Format_RGB32);
        const QRgb background = slider->palette().color(QPalette::Window).rgb();
        image.fill(background);
        slider->render(&image, QPoint(), QRegion(), QWidget::DrawChildren);

        const QRect thumb = StyleThumbRect(*slider);
        ASSERT_TRUE(slider->rect().contains(thumb));
        ASSERT_GE(thumb.width(), 5);
        // Narrow at the top: only the point, in the middle of the thumb.
        const RowInk top = InkIn(image, thumb.top(), thumb.left(), thumb.right(), background);
        EXPECT_GE(top.count, 1) << "the point reaches the top of the thumb's place";
        EXPECT_LE(top.count, 3);
        EXPECT_LE(std::abs((top.first + top.last) / 2 - thumb.center().x()), 1);
        // Full width at the bottom: a thumb pointing down would be narrow here.
        const RowInk bottom = InkIn(image, thumb.bottom(), thumb.left(), thumb.right(), background);
        EXPECT_EQ(bottom.first, thumb.left());
        EXPECT_EQ(bottom.last, thumb.right());
        EXPECT_GE(bottom.count, thumb.width() - 2);
        // Above and below the thumb's rows nothing is drawn: no tick marks.
        for (int y = 0; y < image.height(); ++y) {
            if (y >= thumb.top() && y <= thumb.bottom()) continue;
            EXPECT_EQ(InkIn(image, y, 0, image.width() - 1, background).count, 0) << "row " << y;
        }
    }
}

}  // namespace
}  // namespace tarvento::testing
