// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tarvento {

// The entries of a list such as $PATH or $XDG_CONFIG_DIRS, in order; empty entries are
// left out.
std::vector<std::string> SplitList(std::string_view text, char separator);

}  // namespace tarvento
