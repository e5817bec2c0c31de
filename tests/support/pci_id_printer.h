// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <ostream>

#include "chip/pci_id.h"

namespace tarvento {

// A failed comparison of ids prints them as "10DE:0020", not as their bytes. In the
// namespace of PciId, where the test framework looks for it.
void PrintTo(const PciId& id, std::ostream* out);

}  // namespace tarvento
