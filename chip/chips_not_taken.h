// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <optional>

namespace tarvento {

// Cards of the RIVA family that the chip table leaves out on purpose, and why: an owner who
// holds one is told so instead of a bare "not supported".
enum class NotTakenReason {
    IntegratedWithoutMemoryPll,  // 10DE:00A0, the Aladdin TNT2 inside a chipset
    IdNoDriverLists,             // 10DE:002E, 002F
    Tnt2IdUnderSgsVendor,        // the TNT2 family's ids under 12D2h
};

// Why the card with these ids is not taken; nothing for any other card (supported or not).
std::optional<NotTakenReason> WhyNotTaken(uint16_t vendorId, uint16_t deviceId);

}  // namespace tarvento
