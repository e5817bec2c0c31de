// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

namespace tarvento::ui {

// Qt ends the process with an abort when the X display it is told to use cannot be
// opened (no server, or this user may not use it: a common case under sudo). This asks
// first. True when the window system can be reached, or when it is not X that will be
// used; otherwise false with the display's name in `display`.
bool XDisplayReachable(std::string& display);

}  // namespace tarvento::ui
