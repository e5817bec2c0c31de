// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <compare>
#include <cstdint>

namespace tarvento {

// A PCI function's vendor and device ids.
struct PciId {
    uint16_t vendorId;
    uint16_t deviceId;
    friend auto operator<=>(const PciId&, const PciId&) = default;
};

}  // namespace tarvento
