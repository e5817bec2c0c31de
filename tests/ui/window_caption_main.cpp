// SPDX-License-Identifier: GPL-3.0-or-later
// Prints the caption of the main window as the window library builds it, so that the
// release check can hold it to the version the build was given.
#include <QApplication>
#include <QDialog>
#include <cstdlib>
#include <iostream>

#include "ui/dialog_template.h"
#include "ui/template_builder.h"

int main(int argc, char** argv) {
    // No display is needed to build a window that is never shown.
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    QDialog main;
    tarvento::ui::BuildDialog(main, tarvento::ui::MainWindowTemplate());
    std::cout << main.windowTitle().toStdString() << "\n";
    return 0;
}
