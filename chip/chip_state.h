// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>

#include "chip/adapter_discovery.h"
#include "chip/hardware_access.h"

namespace tarvento {

// The process-wide state of the chip layer: the machine, what discovery found, and
// which chip was recognised. Created once at start-up and handed to everything above.
struct ChipState {
    explicit ChipState(HardwareAccess& hw) : hardware(hw) {}
    HardwareAccess& hardware;
    DiscoveryState discovery;  // pciConfigHeader, registerBase
    // Unset (nullptr) until a chip is recognised; then the name of its table row,
    // never cleared. An unset name equals no name and no token.
    const char* currentChipName = nullptr;
    // The adapter whose chip was recognised, with its register base. Every clock is
    // read from and written to it alone: a later discovery (the autostart check box
    // repeats one) that finds another adapter moves nothing.
    std::optional<DisplayAdapter> recognizedAdapter;
};

}  // namespace tarvento
