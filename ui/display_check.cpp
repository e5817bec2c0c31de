// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/display_check.h"

#include <xcb/xcb.h>

#include <cstdlib>

namespace tarvento::ui {

namespace {
bool Set(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0';
}
}  // namespace

bool XDisplayReachable(std::string& display) {
    // A chosen platform, or a Wayland session, is Qt's own business.
    if (Set("QT_QPA_PLATFORM") || Set("WAYLAND_DISPLAY") || !Set("DISPLAY")) return true;
    display = std::getenv("DISPLAY");
    xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
    const bool ok = xcb_connection_has_error(connection) == 0;
    xcb_disconnect(connection);
    return ok;
}

}  // namespace tarvento::ui
