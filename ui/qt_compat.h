// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The few calls whose form differs between Qt 5.15 and Qt 6. The window builds against
// both: Qt 6 by default, Qt 5.15 where the CPU has no SSE2, which Qt 6 requires.

#include <QFontDatabase>
#include <QLabel>
#include <QPixmap>
#include <QString>
#include <QtGlobal>

namespace tarvento::ui {

// The label's picture by value (Qt 5 hands out a pointer that may be null).
inline QPixmap LabelPixmap(const QLabel& label) {
#if QT_VERSION >= QT_VERSION_CHECK(6, 0, 0)
    return label.pixmap();
#else
    return label.pixmap(Qt::ReturnByValue);
#endif
}

inline bool FontFamilyInstalled(const QString& family) {
#if QT_VERSION >= QT_VERSION_CHECK(6, 0, 0)
    return QFontDatabase::hasFamily(family);
#else
    return QFontDatabase().hasFamily(family);
#endif
}

}  // namespace tarvento::ui
