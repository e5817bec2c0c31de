// The yardstick for the program's start: the least a Qt 6 Widgets program does that
// looks like an unattended start. It shows a small dialog naming a chip for 1.5 s and
// exits.
//
//   tarvento_minimal_dialog [TEXT]

#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QTimer>
#include <QVBoxLayout>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QDialog dialog;
    dialog.setWindowTitle(QStringLiteral("minimal"));
    auto* layout = new QVBoxLayout(&dialog);
    layout->addWidget(new QLabel(argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("RIVA_TNT")));
    QTimer::singleShot(1500, &dialog, &QDialog::accept);
    return dialog.exec() == QDialog::Accepted ? 0 : 1;
}
