// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <vector>

namespace tarvento::testing {

// Takes the calling process into a mount namespace of its own whose mounts no other
// process sees: what a test mounts there (a group database over /etc/group, a small tmpfs)
// goes away with it and never reaches the machine. Works in a chroot whose root is not a
// mount point too (a package builder's). Needs root. Empty when done, else why it cannot
// be done here; the process may then have a namespace of its own, which it must not use.
std::string EnterPrivateMounts();

// Empty when EnterPrivateMounts works here (tried once, in a child), else why not.
const std::string& WhyNoPrivateMounts();

// `command` (program first) run through tarvento-private-mounts, the program that does
// EnterPrivateMounts and then runs it (exit status 77 and why on standard error, when it
// cannot).
std::vector<std::string> InPrivateMounts(const std::vector<std::string>& command);

}  // namespace tarvento::testing
