// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QFont>
#include <QRect>
#include <QString>

#include "ui/dialog_template.h"

class QDialog;
class QWidget;

namespace tarvento::ui {

// Dialog units are fractions of the dialog font: a horizontal unit is a quarter of its
// average character width, a vertical one an eighth of its height. The window keeps its
// proportions whatever font it ends up with.
struct DialogBaseUnits {
    int charWidth;   // average width of "A".."Z" "a".."z", rounded
    int charHeight;  // the font's full height
};

// The template's font, or the system's sans-serif face at the same size when the
// template's face is not installed.
QFont DialogFont(const DialogTemplate& dialog);
DialogBaseUnits BaseUnits(const QFont& font);

// One coordinate or extent in dialog units to pixels, rounded to the nearest pixel.
int DialogUnitsToPixelsX(const DialogBaseUnits& units, int x);
int DialogUnitsToPixelsY(const DialogBaseUnits& units, int y);
QRect DialogRectToPixels(const DialogBaseUnits& units, int x, int y, int width, int height);

// Creates the template's controls on `dialog` (which must have none yet): font, fixed
// client size, window flags and caption, every control at its place, tab order and
// stacking. Each control is a direct child named ControlObjectName(id); controls without
// an id are named "static_<index in the template>". The client area is the dialog's
// contentsRect(): a window without a caption has its modal frame drawn around it.
void BuildDialog(QDialog& dialog, const DialogTemplate& dialogTemplate);

QString ControlObjectName(int id);
// The control with this id, or nullptr.
QWidget* FindControl(const QWidget& dialog, int id);

// The first control of the template, in template order, that is a tab stop and can
// take the focus now: where the focus goes when the dialog starts.
QWidget* FirstTabStop(const QWidget& dialog, const DialogTemplate& dialogTemplate);

}  // namespace tarvento::ui
