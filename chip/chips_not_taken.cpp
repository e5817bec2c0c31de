// SPDX-License-Identifier: GPL-3.0-or-later
#include "chip/chips_not_taken.h"

#include <algorithm>
#include <array>

#include "chip/chip_table.h"

namespace tarvento {

namespace {

struct NotTaken {
    uint16_t vendorId, deviceId;
    NotTakenReason reason;
};

// The Aladdin TNT2 shares the system's memory and has no memory PLL of its own (rivafb
// refuses it too); 002Eh and 002Fh are ids no driver lists, so nothing says what their
// PLLs are.
constexpr std::array<NotTaken, 3> kNotTaken{{
    {kVendorNvidia, 0x00A0, NotTakenReason::IntegratedWithoutMemoryPll},
    {kVendorNvidia, 0x002E, NotTakenReason::IdNoDriverLists},
    {kVendorNvidia, 0x002F, NotTakenReason::IdNoDriverLists},
}};

// The TNT2 family's ids, as the chip table takes them under 10DEh.
bool Tnt2FamilyId(uint16_t deviceId) {
    const ChipProfile* chip = FindChipProfile(kVendorNvidia, deviceId);
    if (chip == nullptr) return false;
    for (const char* name : {kRivaTnt2Name, kTnt2UltraName, kRivaVantaName, kTnt2M64Name})
        if (ChipNameEquals(chip->name, name)) return true;
    return false;
}

}  // namespace

std::optional<NotTakenReason> WhyNotTaken(uint16_t vendorId, uint16_t deviceId) {
    const auto it = std::find_if(kNotTaken.begin(), kNotTaken.end(), [&](const NotTaken& n) {
        return n.vendorId == vendorId && n.deviceId == deviceId;
    });
    if (it != kNotTaken.end()) return it->reason;
    // No driver matches them under the SGS-Thomson id the RIVA 128 first came under.
    if (vendorId == kVendorNvidiaSgs && Tnt2FamilyId(deviceId)) return NotTakenReason::Tnt2IdUnderSgsVendor;
    return std::nullopt;
}

}  // namespace tarvento
