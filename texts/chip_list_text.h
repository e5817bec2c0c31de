// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tarvento {

// The supported chips in the words of the help and the reports, made from the chip table
// so that a new row shows up in them by itself.

// "a, b or c" (lastJoin " or "); "a" alone; "" for none.
std::string ListInWords(const std::vector<std::string>& items, std::string_view lastJoin);

// "RIVA 128, RIVA 128ZX or RIVA TNT" (lastJoin " or "): every chip as people write it.
std::string ChipsInWords(std::string_view lastJoin);

// "RIVA_128, RIVA_128ZX, RIVA_TNT": every chip as the command line names it.
std::string ChipNamesList();

// `paragraph` broken at its spaces into lines of at most `width` characters (a longer word
// stands on a line of its own), each ending in a newline.
std::string Wrapped(std::string_view paragraph, size_t width);

}  // namespace tarvento
