// SPDX-License-Identifier: GPL-3.0-or-later
// The notice window: names the chip, closes itself on the third 500 ms tick, and closes
// at once on Escape (Cancel) or Enter (OK).
#include <QElapsedTimer>
#include <QLabel>
#include <QTest>

#include "tests/ui/ui_rig.h"
#include "ui/autostart_notice_dialog.h"

namespace tarvento::testing {
namespace {

class AutostartNotice : public ::testing::Test {
protected:
    void SetUp() override { TestApplication(); }
};

QString ChipText(ui::AutostartNoticeDialog& notice) {
    auto* label = qobject_cast<QLabel*>(ui::FindControl(notice, kIdChipsetText));
    return label ? label->text() : QString();
}

TEST_F(AutostartNotice, NamesTheChipAndClosesItselfOnTheThirdTick) {
    ui::AutostartNoticeDialog notice(QStringLiteral("RIVA_TNT"));
    std::vector<int> ticksSeen;
    bool timerRan = false;
    WhenReady([&] { return notice.isVisible(); }, [&] {
        EXPECT_EQ(ChipText(notice), QStringLiteral("RIVA_TNT"));
        timerRan = notice.TimerId() != 0;
        SaveGrab(notice, QStringLiteral("autostart-notice"));
    });
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (!notice.isVisible()) return;  // closed, and the run not yet returned
        if (ticksSeen.empty() || ticksSeen.back() != notice.Ticks()) ticksSeen.push_back(notice.Ticks());
    });
    watch.start(20);

    QElapsedTimer clock;
    clock.start();
    const int result = notice.exec();
    const qint64 elapsed = clock.elapsed();

    EXPECT_EQ(result, kIdCancel);
    EXPECT_TRUE(timerRan) << "a timer runs while the notice is up";
    EXPECT_EQ(notice.TimerId(), 0) << "and is gone once it closed";
    EXPECT_EQ(notice.Ticks(), 3);
    EXPECT_EQ(ticksSeen, (std::vector<int>{0, 1, 2}));
    EXPECT_GE(elapsed, 1300);
    EXPECT_LT(elapsed, 3000);
    EXPECT_FALSE(notice.isVisible());
}

TEST_F(AutostartNotice, EscapeAndEnterCloseItAtOnce) {
    struct Case {
        Qt::Key key;
        int result;
    };
    for (const Case c : {Case{Qt::Key_Escape, kIdCancel}, Case{Qt::Key_Return, kIdOk},
                         Case{Qt::Key_Enter, kIdOk}}) {
        SCOPED_TRACE(c.key);
        ui::AutostartNoticeDialog notice(QStringLiteral("RIVA_128ZX"));
        WhenReady([&] { return notice.isVisible(); }, [&] {
            EXPECT_EQ(ChipText(notice), QStringLiteral("RIVA_128ZX"));
            QTest::keyClick(&notice, c.key,
                            c.key == Qt::Key_Enter ? Qt::KeypadModifier : Qt::NoModifier);
        });
        QElapsedTimer clock;
        clock.start();
        EXPECT_EQ(notice.exec(), c.result);
        // At once: well before the third tick would have closed it.
        EXPECT_LT(clock.elapsed(), 1200);
        EXPECT_LT(notice.Ticks(), ui::AutostartNoticeDialog::kClosingTick);
        EXPECT_EQ(notice.TimerId(), 0) << "no tick comes after it closed";
    }
}

TEST_F(AutostartNotice, ATickOfAnotherTimerIsNotCounted) {
    ui::AutostartNoticeDialog notice(QStringLiteral("RIVA_TNT"));
    WhenReady([&] { return notice.isVisible(); }, [&] {
        QTimerEvent foreign(notice.TimerId() + 1000);
        for (int i = 0; i < 3; ++i) QApplication::sendEvent(&notice, &foreign);
        EXPECT_EQ(notice.Ticks(), 0);
        EXPECT_TRUE(notice.isVisible());
        notice.reject();
    });
    EXPECT_EQ(notice.exec(), kIdCancel);
}

}  // namespace
}  // namespace tarvento::testing
