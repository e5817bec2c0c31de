// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/template_builder.h"

#include <QCheckBox>
#include <QDialog>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <vector>

#include "ui/modal_frame.h"
#include "ui/qt_compat.h"
#include "ui/trackbar_slider.h"

namespace tarvento::ui {

namespace {

// Rounds like the multiply-divide the dialog manager uses, half away from zero.
int MulDiv(int value, int numerator, int denominator) {
    const long long product = static_cast<long long>(value) * numerator;
    const long long half = denominator / 2;
    return static_cast<int>(product >= 0 ? (product + half) / denominator
                                         : -((-product + half) / denominator));
}

QLabel* MakeStaticText(QWidget* parent, const ControlTemplate& c) {
    auto* label = new QLabel(QString::fromUtf8(c.text), parent);
    label->setTextFormat(Qt::PlainText);
    const Qt::Alignment horizontal =
        c.kind == ControlKind::CentredStaticText ? Qt::AlignHCenter : Qt::AlignLeft;
    label->setAlignment(horizontal | Qt::AlignTop);
    label->setMargin(0);
    label->setIndent(0);
    return label;
}

// A group's frame runs through the middle of its title, as the templates were drawn
// for: the controls inside keep the distance from the frame they were placed at.
QGroupBox* MakeGroupBox(QWidget* parent, const QString& title) {
    auto* group = new QGroupBox(title, parent);
    group->setStyleSheet(QStringLiteral(
        "QGroupBox { border: 1px solid palette(mid); border-radius: 2px; margin-top: 0.5em; }"
        "QGroupBox::title { subcontrol-origin: margin; subcontrol-position: top left;"
        " left: 5px; padding: 0 2px; top: 0px; background-color: palette(window); }"));
    return group;
}

QWidget* MakeControl(QWidget* parent, const ControlTemplate& c) {
    const QString text = QString::fromUtf8(c.text);
    switch (c.kind) {
    case ControlKind::PushButton:
    case ControlKind::DefaultPushButton: {
        auto* button = new QPushButton(text, parent);
        // Enter presses the focused push button, else the default one.
        button->setAutoDefault(true);
        button->setDefault(c.kind == ControlKind::DefaultPushButton);
        return button;
    }
    case ControlKind::StaticText:
    case ControlKind::CentredStaticText:
        return MakeStaticText(parent, c);
    case ControlKind::GroupBox:
        // A frame only: its contents are the dialog's own children, placed absolutely.
        return MakeGroupBox(parent, text);
    case ControlKind::CheckBox:
        return new QCheckBox(text, parent);
    case ControlKind::Trackbar:
        return new TrackbarSlider(parent);
    case ControlKind::Picture: {
        auto* picture = new QLabel(parent);
        picture->setPixmap(QPixmap(QString::fromUtf8(ImageResourcePath(c.image))));
        return picture;
    }
    }
    return nullptr;
}

}  // namespace

QFont DialogFont(const DialogTemplate& dialog) {
    // Asking the font database, not matching a font, keeps a missing face from loading
    // a substitute that is thrown away at once.
    if (FontFamilyInstalled(QString::fromUtf8(dialog.fontFace))) {
        QFont font(QString::fromUtf8(dialog.fontFace));
        font.setPointSize(dialog.fontPointSize);
        return font;
    }

    QFont fallback = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    fallback.setStyleHint(QFont::SansSerif);
    fallback.setPointSize(dialog.fontPointSize);
    fallback.setBold(false);
    fallback.setItalic(false);
    return fallback;
}

DialogBaseUnits BaseUnits(const QFont& font) {
    const QFontMetrics metrics(font);
    const int width =
        metrics.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    return {(width / 26 + 1) / 2, metrics.height()};
}

int DialogUnitsToPixelsX(const DialogBaseUnits& units, int x) { return MulDiv(x, units.charWidth, 4); }
int DialogUnitsToPixelsY(const DialogBaseUnits& units, int y) { return MulDiv(y, units.charHeight, 8); }

QRect DialogRectToPixels(const DialogBaseUnits& units, int x, int y, int width, int height) {
    return {DialogUnitsToPixelsX(units, x), DialogUnitsToPixelsY(units, y),
            DialogUnitsToPixelsX(units, width), DialogUnitsToPixelsY(units, height)};
}

QString ControlObjectName(int id) { return QStringLiteral("ctl_%1").arg(id); }

QWidget* FindControl(const QWidget& dialog, int id) {
    if (id == kNoControlId) return nullptr;
    return dialog.findChild<QWidget*>(ControlObjectName(id), Qt::FindDirectChildrenOnly);
}

void BuildDialog(QDialog& dialog, const DialogTemplate& t) {
    const QFont font = DialogFont(t);
    const DialogBaseUnits units = BaseUnits(font);
    dialog.setFont(font);

    Qt::WindowFlags flags = Qt::Dialog;
    if (t.caption) {
        flags |= Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowCloseButtonHint;
        if (t.minimizeBox) flags |= Qt::WindowMinimizeButtonHint;
        dialog.setWindowTitle(QString::fromUtf8(t.caption));
    } else {
        flags |= Qt::FramelessWindowHint;
    }
    dialog.setWindowFlags(flags);
    // A window without a caption gets no frame from the window manager: it draws its
    // modal frame itself, around the client area, which keeps its size and its controls.
    const int frame = t.caption ? 0 : kModalFrameWidth;
    dialog.setContentsMargins(frame, frame, frame, frame);
    if (frame != 0) AddModalFrame(dialog);
    dialog.setFixedSize(DialogUnitsToPixelsX(units, t.width) + 2 * frame,
                        DialogUnitsToPixelsY(units, t.height) + 2 * frame);

    std::vector<QWidget*> tabStops;
    std::vector<QWidget*> groups;
    for (std::size_t i = 0; i < t.controls.size(); ++i) {
        const ControlTemplate& c = t.controls[i];
        QWidget* widget = MakeControl(&dialog, c);
        widget->setObjectName(c.id == kNoControlId ? QStringLiteral("static_%1").arg(i)
                                                   : ControlObjectName(c.id));
        QRect rect = DialogRectToPixels(units, c.x, c.y, c.width, c.height);
        if (c.kind == ControlKind::Picture) {
            const auto* picture = static_cast<QLabel*>(widget);
            const QPixmap pixmap = LabelPixmap(*picture);
            rect.setSize((QSizeF(pixmap.size()) / pixmap.devicePixelRatio()).toSize());
        }
        widget->setGeometry(rect.translated(frame, frame));
        widget->setFocusPolicy(c.tabStop ? Qt::StrongFocus : Qt::NoFocus);
        if (c.tabStop) tabStops.push_back(widget);
        if (c.kind == ControlKind::GroupBox) groups.push_back(widget);
    }
    // Tab order is template order, and wraps around.
    for (std::size_t i = 1; i < tabStops.size(); ++i) QWidget::setTabOrder(tabStops[i - 1], tabStops[i]);
    // Group boxes are drawn beneath what they enclose and never catch its clicks.
    for (QWidget* group : groups) group->lower();
}

QWidget* FirstTabStop(const QWidget& dialog, const DialogTemplate& t) {
    for (const ControlTemplate& c : t.controls) {
        if (!c.tabStop) continue;
        QWidget* widget = FindControl(dialog, c.id);
        if (widget && widget->isEnabled()) return widget;
    }
    return nullptr;
}

}  // namespace tarvento::ui
