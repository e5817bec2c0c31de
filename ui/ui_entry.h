// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The one door into the window library. The executable does not link Qt: it loads
// libtarvento_ui.so with dlopen only when it is about to show a window, looks up
// kUiWindowCheckSymbol and kUiEntrySymbol and calls them: the check first, so that a
// session where no window can open never reaches the toolkit.

#include <cstddef>

#include "chip/chip_state.h"
#include "keeping/apply_guard.h"
#include "keeping/autostart_store.h"

namespace tarvento {

struct UiRun {
    int argc;
    char** argv;
    ChipState* chip;
    AutostartStore* store;
    const char* startArguments;    // the command-line tail
    const char* programPath;       // the program's real path, as the autostart entry names it
    ApplyGuard* guard;             // asked before an unattended start applies; may be null
};

inline constexpr const char* kUiLibraryName = "libtarvento_ui.so";
inline constexpr const char* kUiEntrySymbol = "tarvento_ui_run";
inline constexpr const char* kUiWindowCheckSymbol = "tarvento_ui_window_check";

}  // namespace tarvento

// Asks, before the window toolkit is started, whether a window can open for this session
// (see ui/display_check.h): 1 when it can, and the window of tarvento_ui_run then opens on
// the platform checked; 0 when it cannot, with what is missing in `whyNot` as clauses for
// one line (cut to `size`), and nothing of the toolkit started. 1 also when the toolkit
// already runs in this process.
extern "C" int tarvento_ui_window_check(const tarvento::UiRun* run, char* whyNot,
                                        std::size_t size);
using TarventoUiWindowCheckFn = int (*)(const tarvento::UiRun*, char*, std::size_t);

// Runs the main window modally and returns the process exit status: 0, or for an
// unattended start 1 when a message reported a failure. Checks the window system first
// when tarvento_ui_window_check has not: when no window can open it says why on standard
// error and returns 1, and the toolkit never aborts the process.
extern "C" int tarvento_ui_run(const tarvento::UiRun* run);
using TarventoUiRunFn = int (*)(const tarvento::UiRun*);
