// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The one door into the window library. The executable does not link Qt: it loads
// libtarvento_ui.so with dlopen only when it is about to show a window, looks up
// kUiEntrySymbol and calls it.

#include "autostart/apply_guard.h"
#include "autostart/autostart_store.h"
#include "chip/chip_profiles.h"

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

}  // namespace tarvento

// Runs the main window modally and returns the process exit status: 0, or for an
// unattended start 1 when a message reported a failure.
extern "C" int tarvento_ui_run(const tarvento::UiRun* run);
using TarventoUiRunFn = int (*)(const tarvento::UiRun*);
