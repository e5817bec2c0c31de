// SPDX-License-Identifier: GPL-3.0-or-later
#include "chip/chip_table.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <optional>

#include "chip/clock_formulas.h"
#include "chip/pll_physics.h"
#include "chip/registers.h"

namespace tarvento {

namespace {

// The fitted formulas change N alone.
template <std::optional<uint32_t> (*NFor)(int32_t, uint32_t, uint32_t)>
std::optional<uint32_t> WithN(int32_t mhz, uint32_t pll, uint32_t strap) {
    const std::optional<uint32_t> n = NFor(mhz, pll, strap);
    if (!n) return std::nullopt;
    return PllWithN(pll, *n);
}

}  // namespace

// Stock words, with strap bit 6 set (14.318 MHz crystal): TNT memory M 12 N 184 P 1 =
// 110 MHz, TNT core M 12 N 150 P 1 = 90 MHz, RIVA 128 memory M 12 N 168 P 1 = 100 MHz.
const ChipClock kTntMemClock{kMemPllOffset, TntMemClockFromPll, WithN<TntMemN>, kPllNMask,
                             0x0001B80C};
const ChipClock kTntChipClock{kCorePllOffset, TntChipClockFromPll, WithN<TntChipN>, kPllNMask,
                              0x0001960C};
const ChipClock kRiva128Clock{kMemPllOffset, Riva128ClockFromPll, WithN<Riva128N>, kPllNMask,
                              0x0001A80C};

namespace {

// The TNT2 family is read and set by the PLL's own relation, M and N chosen together; each
// chip has its own stock words. A stock word reads back as the chip's stock clock with M in
// the drivers' range for the 14.318 MHz crystal and P as a BIOS chooses it for a VCO of
// 128..256 MHz (P 0 for 128 MHz and up, P 1 below).
constexpr ChipClock Tnt2Clock(uint32_t pllOffset, uint32_t stockPll) {
    return {pllOffset, PhysicsClockFromPll, PhysicsWordFor, kPllMMask | kPllNMask, stockPll,
            kPllThreeBitPMask};
}
constexpr uint32_t kStock150 = 0x0000880D;  // M 13, N 136, P 0: 149.790 MHz
constexpr uint32_t kStock125 = 0x0001E30D;  // M 13, N 227, P 1: 125.009 MHz
constexpr uint32_t kStock183 = 0x00007309;  // M 9, N 115, P 0: 182.955 MHz
constexpr uint32_t kStock100 = 0x00017008;  // M 8, N 112, P 1: 100.227 MHz
// TNT2 (and TNT2 M64, which runs at the same clocks): memory 150, core 125 MHz.
const ChipClock kTnt2MemClock = Tnt2Clock(kMemPllOffset, kStock150);
const ChipClock kTnt2ChipClock = Tnt2Clock(kCorePllOffset, kStock125);
const ChipClock kTnt2UltraMemClock = Tnt2Clock(kMemPllOffset, kStock183);
const ChipClock kTnt2UltraChipClock = Tnt2Clock(kCorePllOffset, kStock150);
const ChipClock kVantaMemClock = Tnt2Clock(kMemPllOffset, kStock125);
const ChipClock kVantaChipClock = Tnt2Clock(kCorePllOffset, kStock100);

// Tested in this order; the first match wins.
const ChipProfile kProfiles[] = {
    // name, vendor ids, device ids, memory and chip slider limits, link, memory and chip clocks
    {kRiva128Name, {kVendorNvidiaSgs, kVendorNvidia}, {0x0018}, 90, 130, 90, 130,
     LinkMode::Linked, &kRiva128Clock, nullptr, ChipArchitecture::Nv3},
    {kRiva128ZxName, {kVendorNvidiaSgs, kVendorNvidia}, {0x0019}, 90, 130, 90, 130,
     LinkMode::Linked, &kRiva128Clock, nullptr, ChipArchitecture::Nv3},
    {kRivaTntName, {kVendorNvidia, 0}, {0x0020}, 80, 145, 80, 130,
     LinkMode::Independent, &kTntMemClock, &kTntChipClock, ChipArchitecture::Nv4},
    // The TNT2 family (NV5, and the NV6 value parts M64 and Vanta) is the TNT's architecture
    // for every register the program touches, and is known under 10DEh alone. Its limits
    // stand around the stock clocks with room for the Pro and LT boards that share an id.
    {kRivaTnt2Name, {kVendorNvidia, 0}, {0x0028, 0x002A, 0x002B}, 110, 200, 100, 175,
     LinkMode::Independent, &kTnt2MemClock, &kTnt2ChipClock, ChipArchitecture::Nv4},
    {kTnt2UltraName, {kVendorNvidia, 0}, {0x0029}, 140, 230, 120, 200,
     LinkMode::Independent, &kTnt2UltraMemClock, &kTnt2UltraChipClock, ChipArchitecture::Nv4},
    {kRivaVantaName, {kVendorNvidia, 0}, {0x002C}, 80, 160, 70, 140,
     LinkMode::Independent, &kVantaMemClock, &kVantaChipClock, ChipArchitecture::Nv4},
    {kTnt2M64Name, {kVendorNvidia, 0}, {0x002D}, 110, 185, 100, 165,
     LinkMode::Independent, &kTnt2MemClock, &kTnt2ChipClock, ChipArchitecture::Nv4},
#ifdef TARVENTO_TEST_CARD
    // QEMU's emulated VGA (BAR0 16 MiB, plain memory at the PLL and strap offsets), so that
    // a guest on a real kernel can stand in for a card. Never in a release build.
    {kRivaTntName, {0x1234, 0}, {0x1111}, 80, 145, 80, 130,
     LinkMode::Independent, &kTntMemClock, &kTntChipClock, ChipArchitecture::Nv4},
#endif
};

}  // namespace

bool ChipNameEquals(const char* name, const char* token) {
    return name != nullptr && token != nullptr && std::strcmp(name, token) == 0;
}

std::span<const ChipProfile> ChipProfiles() { return kProfiles; }

std::vector<const ChipProfile*> DistinctChips() {
    std::vector<const ChipProfile*> chips;
    for (const ChipProfile& p : kProfiles)
        if (FindChipProfileByName(p.name) == &p) chips.push_back(&p);
    return chips;
}

const ChipProfile* FindChipProfile(uint16_t vendorId, uint16_t deviceId) {
    if (vendorId == 0 || deviceId == 0) return nullptr;
    for (const ChipProfile& p : kProfiles) {
        if (std::find(p.deviceIds.begin(), p.deviceIds.end(), deviceId) == p.deviceIds.end()) continue;
        if (std::find(p.vendorIds.begin(), p.vendorIds.end(), vendorId) != p.vendorIds.end()) return &p;
    }
    return nullptr;
}

const ChipClock* ClockAt(const ChipProfile& chip, uint32_t pllOffset) {
    for (const ChipClock* clock : {chip.memoryClock, chip.chipClock})
        if (clock != nullptr && clock->pllOffset == pllOffset) return clock;
    return nullptr;
}

const ChipProfile* FindChipProfileByName(const char* name) {
    for (const ChipProfile& p : kProfiles)
        if (ChipNameEquals(name, p.name)) return &p;
    return nullptr;
}

std::vector<PciId> SupportedPciIds() {
    std::vector<PciId> ids;
    for (const ChipProfile& p : kProfiles)
        for (const uint16_t vendor : p.vendorIds)
            for (const uint16_t device : p.deviceIds)
                if (vendor != 0 && device != 0) ids.push_back({vendor, device});
    return ids;
}

}  // namespace tarvento
