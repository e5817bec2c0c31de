// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "chip/chip_state.h"

namespace tarvento {

// How long a trial waits for its answer, by default and at most.
inline constexpr int kTrialSeconds = 30;
inline constexpr int kTrialMinSeconds = 5;
inline constexpr int kTrialMaxSeconds = 600;

// The exit status of a trial whose clocks went back.
inline constexpr int kTrialWentBack = 3;

// --try CHIP MEMCLOCK CHIPCLOCK [SECONDS]: saves the card's exact words, applies the
// clocks as the unattended start checks them, and asks on standard input whether to keep
// them. Enter alone keeps them (0). No answer by the deadline (the end of standard input
// is no answer), any other answer, SIGINT, SIGTERM or SIGHUP: the saved words go back at
// once, word for word (3). Refused, nothing written: 1 with the reason. On a terminal the
// question counts down. A trial is attended: no autostart entry, no guard record.
int TryClocks(ChipState& chip, const std::vector<std::string>& arguments, std::ostream& out,
              std::ostream& err);

// --dry-run CHIP MEMCLOCK CHIPCLOCK: every check an apply makes, then each word it would
// write; nothing written. 0 when it would write, 1 when it would refuse.
int DryRun(ChipState& chip, const std::vector<std::string>& arguments, std::ostream& out,
           std::ostream& err);

}  // namespace tarvento
