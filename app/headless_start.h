// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <ostream>
#include <string>

#include "tuner/tuner_dialog.h"

namespace tarvento {

// The start without a display. An unattended start (the tail names the recognised chip
// and carries two clocks) runs the whole start sequence: messages go to `err` as one line
// each, prefixed with the application's name; the notice is one line on `out`; nothing
// waits. Any other start touches nothing and needs a graphical session.
// Returns the exit status: 0 when the clocks were written, 1 when a message reported a
// failure (also when a chip name and two clocks were given but no chip was recognised, or
// another chip than the one named), 2 when the start was not unattended.
int RunHeadless(TunerDialog::Environment env, std::ostream& out, std::ostream& err);

// A start that wanted a window and could not have one (`whyNot`: what is missing, as
// clauses for one line). An unattended start says in one line why no window was shown,
// then runs as the start without a display runs, with its messages and its exit status.
// Any other start says what is missing, touches nothing and returns 1.
int RunWithoutWindow(TunerDialog::Environment env, const std::string& whyNot, std::ostream& out,
                     std::ostream& err);

}  // namespace tarvento
