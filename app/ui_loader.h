// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <ostream>

#include "ui/ui_entry.h"

namespace tarvento {

// Loads the window library beside the executable (<exe dir>/../lib/tarvento, the same in
// the build tree and an install) and runs the main window. The window toolkit is loaded
// only here. A missing or broken library gives a message on `err` and status 1.
int RunWindow(const UiRun& run, std::ostream& err);

}  // namespace tarvento
