// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <compare>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "chip/chip_architecture.h"
#include "chip/chip_clock.h"
#include "chip/pci_id.h"

namespace tarvento {

enum class LinkMode : int {
    Linked = 1,      // one clock: moving either slider moves both
    Independent = 2
};

// The clocks the RIVA 128, 128ZX and TNT have, each with its own fitted formulas. (The
// TNT2 family's follow the PLL's own relation, chip/pll_physics.h.)
extern const ChipClock kTntMemClock;
extern const ChipClock kTntChipClock;
extern const ChipClock kRiva128Clock;  // on the memory PLL; drives memory and core alike

// Everything the program knows about one chip. Adding a chip is one row in the table
// (chip_table.cpp) and, when its PLLs follow formulas of their own or hold other stock
// words, its ChipClocks.
struct ChipProfile {
    const char* name;  // as the window shows it and the start arguments name it
    // The vendor ids the chip answers with (0: none), the one it is best known by first.
    std::array<uint16_t, 2> vendorIds;
    // The device ids it answers with under each of them (0: none), its first one first.
    std::array<uint16_t, 3> deviceIds;
    int32_t memMin, memMax;    // inclusive slider limits, MHz
    int32_t chipMin, chipMax;
    LinkMode linkMode;
    // Read at recognition and set by ApplyClocks in this order: memory, then chip.
    const ChipClock* memoryClock;
    const ChipClock* chipClock;  // nullptr: the memory clock drives the chip too
    ChipArchitecture architecture;
};

inline constexpr uint16_t kVendorNvidia = 0x10DE;
inline constexpr uint16_t kVendorNvidiaSgs = 0x12D2;  // the RIVA 128 was sold under this id first

inline constexpr const char* kRiva128Name = "RIVA_128";
inline constexpr const char* kRiva128ZxName = "RIVA_128ZX";
inline constexpr const char* kRivaTntName = "RIVA_TNT";
inline constexpr const char* kRivaTnt2Name = "RIVA_TNT2";
inline constexpr const char* kTnt2UltraName = "TNT2_ULTRA";
inline constexpr const char* kRivaVantaName = "RIVA_VANTA";
inline constexpr const char* kTnt2M64Name = "TNT2_M64";

// The chip's clock on the PLL at `pllOffset` (from the register base); nullptr when the chip
// sets no clock there.
const ChipClock* ClockAt(const ChipProfile& chip, uint32_t pllOffset);

// True when `name` is set and equals `token` exactly (case-sensitive).
bool ChipNameEquals(const char* name, const char* token);

// Every supported chip, in table order.
std::span<const ChipProfile> ChipProfiles();

// Each chip once, in table order: the first row of every name. Whatever names the chips
// to people (the help, the manual pages, the reports) lists these, so that a row which
// lets another card stand in for a chip names no chip twice.
std::vector<const ChipProfile*> DistinctChips();

// The profile for a vendor/device pair, tested in table order; nullptr when unsupported.
const ChipProfile* FindChipProfile(uint16_t vendorId, uint16_t deviceId);

// The profile whose name equals `name` exactly (see ChipNameEquals); nullptr when none.
const ChipProfile* FindChipProfileByName(const char* name);

// Every vendor/device pair FindChipProfile recognises, in table order: what the udev rule
// that opens a card's registers to the group must list, no more and no less.
std::vector<PciId> SupportedPciIds();

}  // namespace tarvento
