// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/pci_id_printer.h"

#include <cstdio>

namespace tarvento {

void PrintTo(const PciId& id, std::ostream* out) {
    char text[16];
    std::snprintf(text, sizeof text, "%04X:%04X", id.vendorId, id.deviceId);
    *out << text;
}

}  // namespace tarvento
