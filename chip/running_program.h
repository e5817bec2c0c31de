// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

namespace tarvento {

// What the running program knows of itself, read from /proc/self/exe in one place.

// The executable's real path (every link resolved); empty when it cannot be learnt, for
// example after the file was replaced or removed. The autostart entry names it, and the
// window library is found beside it.
std::string ProgramPath();

// The executable's file name without folder and extension: the caption of every message
// box. It is known even after the file was replaced.
std::string ProgramName();

// "<ProgramName>: ", the start of every line the program writes to standard error.
std::string DiagnosticPrefix();

// The same start with the program's own name, for the two lines that must not ask the
// running executable: the refusal of secure-execution mode, written before anything is
// read, and libpci's fatal error, written on the way to abort().
inline constexpr const char* kFixedDiagnosticPrefix = "tarvento: ";

}  // namespace tarvento
