// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

namespace tarvento {

// Says `text` in the journal too, unless standard error already goes there (a service's
// does): what runs without a window and without a terminal must leave a trace.
void TellJournal(const std::string& text);

}  // namespace tarvento
