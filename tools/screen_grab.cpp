// SPDX-License-Identifier: GPL-3.0-or-later
// tarvento-screen-grab FILE [WINDOW]: saves what the X server shows, the whole screen or
// one window (its id in decimal or 0x hexadecimal), as a PNG. Used by scripts/screenshots
// under Xvfb, so the pictures are the server's own pixels, not the program's idea of them.
#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>
#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage: %s FILE.png [WINDOW-ID]\n", argv[0]);
        return 2;
    }
    QGuiApplication app(argc, argv);
    WId window = 0;  // the root window: the whole screen
    if (argc == 3) {
        char* end = nullptr;
        window = static_cast<WId>(std::strtoull(argv[2], &end, 0));
        if (end == argv[2] || *end != '\0') {
            std::fprintf(stderr, "%s: not a window id: %s\n", argv[0], argv[2]);
            return 2;
        }
    }
    QScreen* screen = QGuiApplication::primaryScreen();
    const QPixmap picture = screen ? screen->grabWindow(window) : QPixmap();
    if (picture.isNull() || !picture.save(QString::fromLocal8Bit(argv[1]), "PNG")) {
        std::fprintf(stderr, "%s: could not grab or save %s\n", argv[0], argv[1]);
        return 1;
    }
    return 0;
}
