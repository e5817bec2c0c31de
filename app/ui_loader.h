// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

#include "ui/ui_entry.h"

namespace tarvento {

// What became of a start that wanted a window.
struct WindowRun {
    bool shown = false;   // the window library ran the window; `status` is its exit status
    int status = 1;
    std::string whyNot;   // when no window was shown: why, as clauses for one line
};

// Loads the window library beside the executable (<exe dir>/../lib/tarvento, the same in
// the build tree and an install), asks it whether a window can open for this session, and
// when it can, runs the main window. The window toolkit is loaded only here. A missing or
// broken library, or a session where no window can open, is a WindowRun that was not
// shown, with the reason: the caller decides what a start without its window does.
WindowRun RunWindow(const UiRun& run);

}  // namespace tarvento
