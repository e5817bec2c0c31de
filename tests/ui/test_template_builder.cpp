// SPDX-License-Identifier: GPL-3.0-or-later
// Templates 102 and 135 built into widgets: every control where the template puts it,
// in the dialog font's units, stacked and ordered so the keyboard and mouse reach it.
#include <QCheckBox>
#include <QDialog>
#include <QFontInfo>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <algorithm>
#include <map>
#include <set>

#include "chip/chip_table.h"
#include "tests/ui/ui_rig.h"
#include "ui/dialog_template.h"
#include "ui/qt_compat.h"
#include "ui/trackbar_slider.h"

namespace tarvento::testing {
namespace {

using ui::ControlKind;
using ui::DialogTemplate;

class TemplateBuilder : public ::testing::Test {
protected:
    void SetUp() override { TestApplication(); }
};

QRect Rect(const QWidget* w) { return w ? w->geometry() : QRect(); }

TEST_F(TemplateBuilder, DialogUnitsConvertLikeTheDialogManager) {
    // 8-point MS Sans Serif at 96 dpi: an average character 6 pixels wide, 13 high.
    const ui::DialogBaseUnits msSansSerif{6, 13};
    EXPECT_EQ(ui::DialogRectToPixels(msSansSerif, 5, 215, 55, 14), QRect(8, 349, 83, 23));
    EXPECT_EQ(ui::DialogUnitsToPixelsX(msSansSerif, 187), 281);
    EXPECT_EQ(ui::DialogUnitsToPixelsY(msSansSerif, 237), 385);
    EXPECT_EQ(ui::DialogUnitsToPixelsX(msSansSerif, 0), 0);
    // Larger fonts make larger dialogs, in proportion.
    const ui::DialogBaseUnits large{8, 16};
    EXPECT_EQ(ui::DialogRectToPixels(large, 70, 45, 110, 25), QRect(140, 90, 220, 50));
}

TEST_F(TemplateBuilder, BaseUnitsComeFromTheAlphabetsWidthAndTheFontHeight) {
    QFont font = ui::DialogFont(ui::MainWindowTemplate());
    const QFontMetrics metrics(font);
    const double alphabet =
        metrics.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    const ui::DialogBaseUnits units = ui::BaseUnits(font);
    EXPECT_LE(std::abs(units.charWidth - alphabet / 52.0), 0.5);
    EXPECT_EQ(units.charHeight, metrics.height());
    EXPECT_GT(units.charWidth, 2);

    // The template's face when it is there, else a sans-serif face; 8 points either way.
    EXPECT_EQ(font.pointSize(), 8);
    const QString face = QFontInfo(font).family();
    if (face.compare(QStringLiteral("MS Sans Serif"), Qt::CaseInsensitive) != 0) {
        EXPECT_EQ(QFontInfo(font).styleHint(), QFont::SansSerif) << face.toStdString();
    }
}

// The widget class each kind of control must become.
bool HasKindOf(const QWidget* w, ControlKind kind) {
    switch (kind) {
    case ControlKind::PushButton:
    case ControlKind::DefaultPushButton: return qobject_cast<const QPushButton*>(w) != nullptr;
    case ControlKind::StaticText:
    case ControlKind::CentredStaticText:
    case ControlKind::Picture: return qobject_cast<const QLabel*>(w) != nullptr;
    case ControlKind::GroupBox: return qobject_cast<const QGroupBox*>(w) != nullptr;
    case ControlKind::CheckBox: return qobject_cast<const QCheckBox*>(w) != nullptr;
    case ControlKind::Trackbar: return qobject_cast<const ui::TrackbarSlider*>(w) != nullptr;
    }
    return false;
}

void ExpectBuiltAsTemplate(const DialogTemplate& t) {
    SCOPED_TRACE(t.id);
    QDialog dialog;
    ui::BuildDialog(dialog, t);
    const ui::DialogBaseUnits units = ui::BaseUnits(dialog.font());
    // The client area keeps the template's size; a frame the window draws itself lies
    // around it.
    const QRect client = dialog.contentsRect();
    EXPECT_EQ(client.size(), QSize(ui::DialogUnitsToPixelsX(units, t.width),
                                   ui::DialogUnitsToPixelsY(units, t.height)));
    EXPECT_EQ(dialog.findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly).size(),
              static_cast<qsizetype>(t.controls.size()));

    std::set<int> ids;
    for (std::size_t i = 0; i < t.controls.size(); ++i) {
        const ui::ControlTemplate& c = t.controls[i];
        SCOPED_TRACE(i);
        const QString name = c.id == ui::kNoControlId ? QStringLiteral("static_%1").arg(i)
                                                      : QStringLiteral("ctl_%1").arg(c.id);
        auto* w = dialog.findChild<QWidget*>(name, Qt::FindDirectChildrenOnly);
        ASSERT_NE(w, nullptr) << name.toStdString();
        if (c.id != ui::kNoControlId) {
            EXPECT_TRUE(ids.insert(c.id).second) << "id " << c.id << " twice";
            EXPECT_EQ(ui::FindControl(dialog, c.id), w);
        }
        EXPECT_TRUE(HasKindOf(w, c.kind));
        EXPECT_EQ(w->focusPolicy(), c.tabStop ? Qt::StrongFocus : Qt::NoFocus);

        const QPoint origin(ui::DialogUnitsToPixelsX(units, c.x), ui::DialogUnitsToPixelsY(units, c.y));
        EXPECT_EQ(w->pos() - client.topLeft(), origin);
        EXPECT_TRUE(client.contains(w->geometry())) << "nothing lies on the frame";
        if (c.kind == ControlKind::Picture) {
            // Shown at the image's own size; the template's extent does not count.
            const QPixmap pixmap = ui::LabelPixmap(*static_cast<QLabel*>(w));
            ASSERT_FALSE(pixmap.isNull()) << "image " << c.image;
            EXPECT_EQ(w->size(), pixmap.size());
            EXPECT_EQ(pixmap.size(), c.image == 137 ? QSize(156, 30) : QSize(89, 97));
        } else {
            EXPECT_EQ(w->size(), QSize(ui::DialogUnitsToPixelsX(units, c.width),
                                       ui::DialogUnitsToPixelsY(units, c.height)));
        }
        if (auto* label = qobject_cast<QLabel*>(w); label && c.kind != ControlKind::Picture) {
            EXPECT_EQ(label->text().toStdString(), c.text);
            EXPECT_EQ(label->alignment() & Qt::AlignHorizontal_Mask,
                      c.kind == ControlKind::CentredStaticText ? Qt::AlignHCenter : Qt::AlignLeft);
        }
    }
}

TEST_F(TemplateBuilder, EveryControlOfBothTemplatesIsBuiltWhereTheTemplateSays) {
    ExpectBuiltAsTemplate(ui::MainWindowTemplate());
    ExpectBuiltAsTemplate(ui::AutostartNoticeTemplate());
}

TEST_F(TemplateBuilder, TheTemplatesCarryTheWindowsCaptionsAndShapes) {
    QDialog main;
    ui::BuildDialog(main, ui::MainWindowTemplate());
    EXPECT_EQ(main.windowTitle(), QString::fromUtf8(kWindowCaption)) << "the release check holds its version";
    EXPECT_TRUE(main.windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_TRUE(main.windowFlags() & Qt::WindowCloseButtonHint);
    EXPECT_FALSE(main.windowFlags() & Qt::FramelessWindowHint);
    EXPECT_EQ(main.minimumSize(), main.maximumSize()) << "a fixed frame";

    QDialog notice;
    ui::BuildDialog(notice, ui::AutostartNoticeTemplate());
    EXPECT_TRUE(notice.windowFlags() & Qt::FramelessWindowHint) << "no caption bar";
    EXPECT_EQ(main.contentsRect(), main.rect()) << "the window manager frames the main window";

    auto* checkBox = qobject_cast<QCheckBox*>(ui::FindControl(main, kIdAutostartCheck));
    ASSERT_NE(checkBox, nullptr);
    EXPECT_EQ(checkBox->text(), QStringLiteral("&Autostart Tarvento"));
    EXPECT_EQ(checkBox->shortcut(), QKeySequence(QStringLiteral("Alt+A")));
    auto* setClock = qobject_cast<QPushButton*>(ui::FindControl(main, kIdSetClockNow));
    ASSERT_NE(setClock, nullptr);
    EXPECT_TRUE(setClock->isDefault());
    for (int id : {kIdCancel, kIdPanic}) {
        EXPECT_FALSE(qobject_cast<QPushButton*>(ui::FindControl(main, id))->isDefault()) << id;
    }
    for (int id : {kIdMemTrackbar, kIdChipTrackbar}) {
        auto* slider = qobject_cast<QSlider*>(ui::FindControl(main, id));
        ASSERT_NE(slider, nullptr);
        EXPECT_EQ(slider->orientation(), Qt::Horizontal);
        EXPECT_EQ(slider->tickPosition(), QSlider::NoTicks);
    }
}

TEST_F(TemplateBuilder, EachGroupEnclosesWhatItNamesAndLiesBeneathIt) {
    QDialog dialog;
    ui::BuildDialog(dialog, ui::MainWindowTemplate());
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    auto byName = [&](const char* name) { return dialog.findChild<QWidget*>(QString::fromUtf8(name)); };
    struct Group {
        QWidget* box;
        std::vector<QWidget*> members;
    };
    const Group groups[] = {
        {ui::FindControl(dialog, kIdMemClockGroup),
         {ui::FindControl(dialog, kIdMemTrackbar), ui::FindControl(dialog, kIdMemClockText), byName("static_9")}},
        {ui::FindControl(dialog, kIdChipClockGroup),
         {ui::FindControl(dialog, kIdChipTrackbar), ui::FindControl(dialog, kIdChipClockText), byName("static_10")}},
        {ui::FindControl(dialog, kIdChipsetGroup), {ui::FindControl(dialog, kIdChipsetText)}},
        {byName("static_17"),
         {ui::FindControl(dialog, kIdAutostartCheck), ui::FindControl(dialog, kIdAutoMemText),
          ui::FindControl(dialog, kIdAutoChipText), byName("static_14"), byName("static_15"),
          byName("static_18"), byName("static_19")}},
    };
    for (const Group& g : groups) {
        ASSERT_NE(g.box, nullptr);
        SCOPED_TRACE(g.box->objectName().toStdString());
        for (QWidget* member : g.members) {
            ASSERT_NE(member, nullptr);
            EXPECT_TRUE(Rect(g.box).contains(Rect(member))) << member->objectName().toStdString();
            // A click in the middle of a member reaches the member, not its frame.
            EXPECT_EQ(dialog.childAt(Rect(member).center()), member) << member->objectName().toStdString();
        }
    }
    // Nothing sticks out of the window.
    for (QWidget* w : dialog.findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
        EXPECT_TRUE(dialog.rect().contains(Rect(w))) << w->objectName().toStdString();
    }
}

TEST_F(TemplateBuilder, NoticeWindowNamesTheChipInsideItsGroupAndFitsItsPictures) {
    QDialog dialog;
    ui::BuildDialog(dialog, ui::AutostartNoticeTemplate());
    QWidget* group = ui::FindControl(dialog, kIdChipsetGroup);
    QWidget* name = ui::FindControl(dialog, kIdChipsetText);
    ASSERT_TRUE(group && name);
    EXPECT_TRUE(Rect(group).contains(Rect(name)));
    for (QWidget* w : dialog.findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
        EXPECT_TRUE(dialog.rect().contains(Rect(w))) << w->objectName().toStdString();
    }
}

// Without a caption no window manager frames the notice window: it draws a raised double
// edge of its own around its client area.
TEST_F(TemplateBuilder, TheNoticeWindowDrawsItsModalFrame) {
    QDialog dialog;
    ui::BuildDialog(dialog, ui::AutostartNoticeTemplate());
    const QRect client = dialog.contentsRect();
    ASSERT_EQ(dialog.size(), client.size() + QSize(6, 6));
    ASSERT_EQ(client.topLeft(), QPoint(3, 3));
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    const QImage image = dialog.grab().toImage();
    ASSERT_EQ(image.size(), dialog.size());
    const QPalette& pal = dialog.palette();
    auto at = [&](int x, int y) { return image.pixel(x, y) & 0xFFFFFFu; };
    auto rgb = [&](QPalette::ColorRole role) { return pal.color(role).rgb() & 0xFFFFFFu; };
    const int w = image.width(), h = image.height();
    for (int x = 0; x < w - 1; ++x) EXPECT_EQ(at(x, 0), rgb(QPalette::Light)) << "top " << x;
    for (int y = 0; y < h - 1; ++y) EXPECT_EQ(at(0, y), rgb(QPalette::Light)) << "left " << y;
    for (int x = 0; x < w; ++x) EXPECT_EQ(at(x, h - 1), rgb(QPalette::Shadow)) << "bottom " << x;
    for (int y = 0; y < h; ++y) EXPECT_EQ(at(w - 1, y), rgb(QPalette::Shadow)) << "right " << y;
    for (int x = 1; x < w - 1; ++x) EXPECT_EQ(at(x, h - 2), rgb(QPalette::Dark)) << "inner bottom " << x;
    for (int y = 1; y < h - 1; ++y) EXPECT_EQ(at(w - 2, y), rgb(QPalette::Dark)) << "inner right " << y;
    SaveGrab(dialog, QStringLiteral("notice-frame"));
}

TEST_F(TemplateBuilder, EveryTextTheWindowsShowFitsItsControl) {
    // What the program puts into its text controls, besides their template texts: every
    // chip's name and the highest clock of each slider, as the chip table has them.
    std::vector<QString> chipNames{"Unknown"};
    int32_t memMax = 0, chipMax = 0;
    for (const ChipProfile* chip : DistinctChips()) {
        chipNames.push_back(QString::fromLatin1(chip->name));
        memMax = std::max(memMax, chip->memMax);
        chipMax = std::max(chipMax, chip->chipMax);
    }
    const std::map<int, std::vector<QString>> shown = {
        {kIdChipsetText, chipNames},
        {kIdMemClockText, {QString::number(memMax), "---"}},
        {kIdChipClockText, {QString::number(chipMax), "---"}},
        {kIdAutoMemText, {QString::number(memMax), "---"}},
        {kIdAutoChipText, {QString::number(chipMax), "---"}},
    };
    for (const DialogTemplate* t : {&ui::MainWindowTemplate(), &ui::AutostartNoticeTemplate()}) {
        SCOPED_TRACE(t->id);
        QDialog dialog;
        ui::BuildDialog(dialog, *t);
        for (QLabel* label : dialog.findChildren<QLabel*>()) {
            if (!ui::LabelPixmap(*label).isNull()) continue;
            std::vector<QString> texts{label->text()};
            const int id = label->objectName().startsWith(QStringLiteral("ctl_"))
                               ? label->objectName().mid(4).toInt()
                               : ui::kNoControlId;
            if (auto more = shown.find(id); more != shown.end()) {
                texts.insert(texts.end(), more->second.begin(), more->second.end());
            }
            for (const QString& text : texts) {
                EXPECT_LE(label->fontMetrics().horizontalAdvance(text), label->width())
                    << label->objectName().toStdString() << " cuts \"" << text.toStdString() << '"';
                EXPECT_LE(label->fontMetrics().height(), label->height() + 2)
                    << label->objectName().toStdString();
            }
        }
    }
}

}  // namespace
}  // namespace tarvento::testing
