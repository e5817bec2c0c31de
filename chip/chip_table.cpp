// SPDX-License-Identifier: GPL-3.0-or-later
#include "chip/chip_table.h"

#include <cstdint>
#include <cstring>
#include <optional>

#include "chip/clock_formulas.h"
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

constexpr uint16_t kVendorNvidia = 0x10DE;
constexpr uint16_t kVendorNvidiaSgs = 0x12D2;  // the RIVA 128 was sold under this id first

// Tested in this order; the first match wins.
const ChipProfile kProfiles[] = {
    // name, vendor ids, device, memory and chip slider limits, link, memory and chip clocks
    {kRiva128Name, {kVendorNvidiaSgs, kVendorNvidia}, 0x0018, 90, 130, 90, 130,
     LinkMode::Linked, &kRiva128Clock, nullptr, ChipArchitecture::Nv3},
    {kRiva128ZxName, {kVendorNvidiaSgs, kVendorNvidia}, 0x0019, 90, 130, 90, 130,
     LinkMode::Linked, &kRiva128Clock, nullptr, ChipArchitecture::Nv3},
    {kRivaTntName, {kVendorNvidia, 0}, 0x0020, 80, 145, 80, 130,
     LinkMode::Independent, &kTntMemClock, &kTntChipClock, ChipArchitecture::Nv4},
#ifdef TARVENTO_TEST_CARD
    // QEMU's emulated VGA (BAR0 16 MiB, plain memory at the PLL and strap offsets), so that
    // a guest on a real kernel can stand in for a card. Never in a release build.
    {kRivaTntName, {0x1234, 0}, 0x1111, 80, 145, 80, 130,
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
    for (const ChipProfile& p : kProfiles) {
        if (deviceId != p.deviceId || vendorId == 0) continue;
        for (const uint16_t vendor : p.vendorIds)
            if (vendor == vendorId) return &p;
    }
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
            if (vendor != 0) ids.push_back({vendor, p.deviceId});
    return ids;
}

}  // namespace tarvento
