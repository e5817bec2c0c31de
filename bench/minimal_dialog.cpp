// SPDX-License-Identifier: GPL-3.0-or-later
// The yardstick for the program's start: the least a Qt 6 Widgets program does that
// looks like an unattended start. It shows a small dialog naming a chip for 1.5 s and
// exits. With --box it shows a warning message box with OK and Cancel instead, as the
// program's interactive start does first, and waits for an answer.
//
//   tarvento_minimal_dialog [TEXT]
//   tarvento_minimal_dialog --box [TEXT]

#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QMessageBox>
#include <QTimer>
#include <QVBoxLayout>
#include <cstring>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const bool box = argc > 1 && std::strcmp(argv[1], "--box") == 0;
    const int textAt = box ? 2 : 1;
    const QString text = argc > textAt ? QString::fromLocal8Bit(argv[textAt]) : QStringLiteral("RIVA_TNT");
    if (box) {
        QMessageBox warning(QMessageBox::Warning, QStringLiteral("minimal"), text,
                            QMessageBox::Ok | QMessageBox::Cancel);
        warning.setDefaultButton(QMessageBox::Cancel);
        return warning.exec() == QMessageBox::Ok ? 0 : 1;
    }
    QDialog dialog;
    dialog.setWindowTitle(QStringLiteral("minimal"));
    auto* layout = new QVBoxLayout(&dialog);
    layout->addWidget(new QLabel(text));
    QTimer::singleShot(1500, &dialog, &QDialog::accept);
    return dialog.exec() == QDialog::Accepted ? 0 : 1;
}
