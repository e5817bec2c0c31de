// SPDX-License-Identifier: GPL-3.0-or-later
// A trackbar tells its window about the user's moves and only about those: a position
// set by the program must never pass for one, and a user's move must never go unheard.
#include <vector>

#include "tests/ui/slider_probe.h"
#include "tests/ui/ui_rig.h"
#include "ui/trackbar_slider.h"

namespace tarvento::testing {
namespace {

class Trackbar : public ::testing::Test {
protected:
    std::unique_ptr<ui::TrackbarSlider> slider;
    std::vector<int> heard;  // the position at each notification
    int valueSignals = 0;

    void SetUp() override {
        TestApplication();
        slider = std::make_unique<ui::TrackbarSlider>();
        slider->resize(200, 30);
        QObject::connect(slider.get(), &ui::TrackbarSlider::userScrolled,
                         [this] { heard.push_back(slider->value()); });
        QObject::connect(slider.get(), &QSlider::valueChanged, [this] { ++valueSignals; });
    }
    void ShowAt(int minimum, int maximum, int position) {
        slider->SetRangeQuietly(minimum, maximum);
        slider->SetPositionQuietly(position);
        slider->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(slider.get()));
        slider->setFocus();
        heard.clear();
        valueSignals = 0;
    }
};

TEST_F(Trackbar, PositionsSetByTheProgramAreShownClampedAndHeardByNobody) {
    slider->SetRangeQuietly(90, 130);
    EXPECT_EQ(slider->value(), 90) << "the default position moved into the new range";
    slider->SetPositionQuietly(89);
    EXPECT_EQ(slider->value(), 90);
    slider->SetPositionQuietly(200);
    EXPECT_EQ(slider->value(), 130);
    slider->SetRangeQuietly(80, 100);
    EXPECT_EQ(slider->value(), 100);
    slider->SetPositionQuietly(95);
    EXPECT_EQ(slider->value(), 95);
    // Even a plain setValue from code is no user's move.
    slider->setValue(97);
    EXPECT_EQ(slider->value(), 97);

    EXPECT_TRUE(heard.empty());
    EXPECT_EQ(valueSignals, 1) << "only the unguarded setValue signalled";
}

TEST_F(Trackbar, PageStepIsAFifthOfTheRange) {
    slider->SetRangeQuietly(80, 145);
    EXPECT_EQ(slider->pageStep(), 13);
    slider->SetRangeQuietly(90, 130);
    EXPECT_EQ(slider->pageStep(), 8);
    slider->SetRangeQuietly(0, 0);
    EXPECT_EQ(slider->pageStep(), 1);
}

TEST_F(Trackbar, EveryKeyMoveIsHeardWithThePositionAlreadyShown) {
    ShowAt(90, 130, 100);
    QTest::keyClick(slider.get(), Qt::Key_Right);
    QTest::keyClick(slider.get(), Qt::Key_PageUp);
    QTest::keyClick(slider.get(), Qt::Key_Home);
    EXPECT_EQ(heard, (std::vector<int>{101, 109, 90}));
}

// The keys stay as the toolkit has them, as the contributor guide tells: Up and Page Up raise,
// Down and Page Down lower.
TEST_F(Trackbar, UpAndPageUpRaiseDownAndPageDownLower) {
    ShowAt(90, 130, 100);
    for (Qt::Key key : {Qt::Key_Up, Qt::Key_PageUp, Qt::Key_Down, Qt::Key_PageDown, Qt::Key_End})
        QTest::keyClick(slider.get(), key);
    EXPECT_EQ(heard, (std::vector<int>{101, 109, 108, 100, 130}));
}

TEST_F(Trackbar, AMoveAgainstALimitIsStillHeard) {
    ShowAt(90, 130, 90);
    QTest::keyClick(slider.get(), Qt::Key_Left);
    QTest::keyClick(slider.get(), Qt::Key_Home);
    EXPECT_EQ(heard, (std::vector<int>{90, 90}));
    EXPECT_EQ(valueSignals, 0);
}

TEST_F(Trackbar, KeysThatMoveNothingAreNotHeard) {
    ShowAt(90, 130, 100);
    QTest::keyClick(slider.get(), Qt::Key_A);
    QTest::keyClick(slider.get(), Qt::Key_Return);
    EXPECT_TRUE(heard.empty());
}

TEST_F(Trackbar, TheWheelIsHeard) {
    ShowAt(90, 130, 100);
    WheelUp(slider.get());
    ASSERT_EQ(heard.size(), 1u);
    EXPECT_GT(heard[0], 100);
    EXPECT_EQ(heard[0], slider->value());
}

TEST_F(Trackbar, ADragIsHeardAtEveryStepAndWhenReleased) {
    ShowAt(80, 145, 90);
    DragHandle(slider.get(), 60, 4);
    ASSERT_GE(heard.size(), 4u) << "the window follows the thumb while it is dragged";
    for (std::size_t i = 1; i < heard.size(); ++i) EXPECT_GE(heard[i], heard[i - 1]);
    EXPECT_GT(heard.back(), 90);
    EXPECT_EQ(heard.back(), slider->value());
}

TEST_F(Trackbar, AClickOnTheGrooveIsHeard) {
    ShowAt(80, 145, 80);
    const QPoint right(slider->width() - 5, slider->height() / 2);
    QTest::mouseClick(slider.get(), Qt::LeftButton, Qt::NoModifier, right);
    ASSERT_FALSE(heard.empty());
    EXPECT_GT(slider->value(), 80);
    EXPECT_EQ(heard.back(), slider->value());
}

}  // namespace
}  // namespace tarvento::testing
