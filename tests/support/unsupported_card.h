// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "chip/pci_id.h"
#include "tests/support/pci_id_printer.h"

namespace tarvento::testing {

// The card and the chip name a test means when it needs one the program does not support.
// Both are made up, so that no row the chip table gains can turn them into a supported
// chip under a test's feet: 7E57h ("test") is a vendor id no maker holds, unlike any
// NVIDIA or SGS id, which a new row may claim one day.
inline constexpr PciId kUnsupportedCard{0x7E57, 0x0001};
inline constexpr const char* kUnsupportedChipName = "RIVA_MADE_UP";

}  // namespace tarvento::testing
