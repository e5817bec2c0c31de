// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <memory>
#include <string>

namespace tarvento::ui {

// Qt picks its platform plugin when QApplication is constructed, and when no plugin on its
// list can reach the session's window system it ends the process with an abort: a Wayland
// session without Qt's Wayland plugin and without an X server, a DISPLAY nobody answers,
// a QT_QPA_PLATFORM naming plugins that are not there. This asks first, the way Qt will
// ask, and cheaply: it walks Qt's list in Qt's order and stops at the first platform whose
// server answers and whose plugin is installed and loads.
struct WindowSystemCheck {
    // The platform (with its arguments) to hand Qt as its only choice, so that what was
    // checked is what Qt tries; empty when no window can open.
    std::string platform;
    // When no window can open: what is missing, as clauses for one line, with the package
    // to install when it is Qt's Wayland plugin.
    std::string whyNot;
    // The connection that found the X server answering, held until Qt has its own: an X
    // server without other clients (a fresh Xvfb) resets when its last client leaves, and
    // would refuse Qt for that moment.
    std::shared_ptr<void> heldConnection;
};

// Reads the environment Qt reads (QT_QPA_PLATFORM, XDG_SESSION_TYPE, WAYLAND_DISPLAY,
// XDG_RUNTIME_DIR, DISPLAY, QT_QPA_PLATFORM_PLUGIN_PATH, QT_PLUGIN_PATH) and the options
// Qt takes from `argv` (-platform, -platformpluginpath, -display).
WindowSystemCheck CheckWindowSystem(int argc, char** argv);

}  // namespace tarvento::ui
