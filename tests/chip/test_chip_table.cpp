// SPDX-License-Identifier: GPL-3.0-or-later
// Which chips are known: their names, ids, slider limits, link modes and clocks, and what
// every row must satisfy.
#include <gtest/gtest.h>

#include <cstdint>
#include <set>
#include <string>
#include <utility>

#include "chip/chip_table.h"
#include "chip/registers.h"
#include "tests/support/unsupported_card.h"

namespace tarvento {
namespace {

using namespace testing;

TEST(ChipNames, CompareExactlyAndNeverMatchWhenUnset) {
    EXPECT_TRUE(ChipNameEquals(kRivaTntName, "RIVA_TNT"));
    EXPECT_FALSE(ChipNameEquals(kRivaTntName, "riva_tnt"));
    EXPECT_FALSE(ChipNameEquals(kRiva128Name, "RIVA_128ZX"));
    EXPECT_FALSE(ChipNameEquals(kRiva128ZxName, "RIVA_128"));
    EXPECT_FALSE(ChipNameEquals(kRivaTntName, "RIVA_TNT "));
    EXPECT_FALSE(ChipNameEquals(nullptr, "RIVA_TNT"));
    EXPECT_FALSE(ChipNameEquals(nullptr, ""));
    EXPECT_FALSE(ChipNameEquals(nullptr, nullptr));
    EXPECT_FALSE(ChipNameEquals(kRivaTntName, nullptr));
}

// What each pair of ids must select, as the chips are documented (not read off the
// table): the name, the slider limits, the link and the architecture. The clocks a row
// reads and sets through are checked by the tests of the formulas.
TEST(ChipProfiles, EachIdSelectsItsChipAndOthersNone) {
    struct Row {
        uint16_t vendor, device;
        const char* name;  // nullptr: not supported
        int32_t memMin = 0, memMax = 0, chipMin = 0, chipMax = 0;
        LinkMode link = LinkMode::Independent;
        ChipArchitecture architecture = ChipArchitecture::Nv4;
    };
    constexpr auto L = LinkMode::Linked;
    constexpr auto Nv3 = ChipArchitecture::Nv3;
    const Row rows[] = {
        {0x10DE, 0x0018, "RIVA_128", 90, 130, 90, 130, L, Nv3},
        {0x12D2, 0x0018, "RIVA_128", 90, 130, 90, 130, L, Nv3},
        {0x10DE, 0x0019, "RIVA_128ZX", 90, 130, 90, 130, L, Nv3},
        {0x12D2, 0x0019, "RIVA_128ZX", 90, 130, 90, 130, L, Nv3},
        {0x10DE, 0x0020, "RIVA_TNT", 80, 145, 80, 130},
        {0x10DE, 0x0028, "RIVA_TNT2", 110, 200, 100, 175},
        {0x10DE, 0x002A, "RIVA_TNT2", 110, 200, 100, 175},
        {0x10DE, 0x002B, "RIVA_TNT2", 110, 200, 100, 175},
        {0x10DE, 0x0029, "TNT2_ULTRA", 140, 230, 120, 200},
        {0x10DE, 0x002C, "RIVA_VANTA", 80, 160, 70, 140},
        {0x10DE, 0x002D, "TNT2_M64", 110, 185, 100, 165},
        {0x12D2, 0x0020, nullptr}, {0x12D2, 0x0028, nullptr}, {0x12D2, 0x002D, nullptr},
        {0x10DE, 0x00A0, nullptr}, {0x10DE, 0x002E, nullptr}, {0x10DE, 0x002F, nullptr},
        {kUnsupportedCard.vendorId, kUnsupportedCard.deviceId, nullptr}, {0x1002, 0x0018, nullptr},
        {0x10DE, 0x0000, nullptr}, {0x0000, 0x0000, nullptr}, {0xFFFF, 0xFFFF, nullptr},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(::testing::Message() << std::hex << r.vendor << ":" << r.device);
        const ChipProfile* p = FindChipProfile(r.vendor, r.device);
        if (r.name == nullptr) {
            EXPECT_EQ(p, nullptr);
            continue;
        }
        ASSERT_NE(p, nullptr);
        EXPECT_STREQ(p->name, r.name);
        EXPECT_EQ(p->memMin, r.memMin);
        EXPECT_EQ(p->memMax, r.memMax);
        EXPECT_EQ(p->chipMin, r.chipMin);
        EXPECT_EQ(p->chipMax, r.chipMax);
        EXPECT_EQ(p->linkMode, r.link);
        EXPECT_EQ(p->architecture, r.architecture);
        // One clock, on the memory PLL, drives memory and core of a linked chip.
        EXPECT_EQ(p->chipClock == nullptr, r.link == L);
    }
    const ChipProfile* riva128 = FindChipProfile(0x10DE, 0x0018);
    const ChipProfile* tnt = FindChipProfile(0x10DE, 0x0020);
    ASSERT_TRUE(riva128 && tnt);
    EXPECT_EQ(riva128->memoryClock, &kRiva128Clock);
    EXPECT_EQ(tnt->memoryClock, &kTntMemClock);
    EXPECT_EQ(tnt->chipClock, &kTntChipClock);
    // The recognised name is the profile's own string, compared by content elsewhere.
    EXPECT_STREQ(kRiva128Name, riva128->name);
}

// Two rows may share a name only when they are one chip under other ids (a test build's
// emulated card is a RIVA TNT): the name selects the first of them, and must select the
// same limits, link and clocks.
bool SameChip(const ChipProfile& a, const ChipProfile& b) {
    return std::string(a.name) == b.name && a.memMin == b.memMin && a.memMax == b.memMax &&
           a.chipMin == b.chipMin && a.chipMax == b.chipMax && a.linkMode == b.linkMode &&
           a.memoryClock == b.memoryClock && a.chipClock == b.chipClock && a.architecture == b.architecture;
}

TEST(ChipProfiles, NamesAreFoundExactlyAndOnlyInTheTable) {
    for (const ChipProfile& p : ChipProfiles()) {
        SCOPED_TRACE(p.name);
        const ChipProfile* found = FindChipProfileByName(p.name);
        ASSERT_NE(found, nullptr);
        EXPECT_LE(found, &p) << "not the first row of that name";
        EXPECT_TRUE(SameChip(*found, p)) << "one name for two different chips";
    }
    EXPECT_EQ(FindChipProfileByName("riva_tnt"), nullptr);
    EXPECT_EQ(FindChipProfileByName("RIVA_TNT "), nullptr);
    EXPECT_EQ(FindChipProfileByName(""), nullptr);
    EXPECT_EQ(FindChipProfileByName(nullptr), nullptr);
}

// What a new row must satisfy for the rest of the program to work with it.
TEST(ChipProfiles, EveryRowIsUsable) {
    std::set<std::string> names;
    std::set<std::pair<uint16_t, uint16_t>> ids;
    for (const ChipProfile& p : ChipProfiles()) {
        SCOPED_TRACE(p.name);
        // The start arguments and the autostart entry carry the name as one token of at
        // most 11 characters; a longer or spaced name could never be asked for.
        const std::string name = p.name;
        EXPECT_FALSE(name.empty());
        EXPECT_LE(name.size(), 11u);
        EXPECT_EQ(name.find_first_of(" \t"), std::string::npos);
        // A first argument that begins with "-" is taken for an option.
        EXPECT_FALSE(name.starts_with('-'));
        EXPECT_TRUE(names.insert(name).second || SameChip(*FindChipProfileByName(p.name), p))
            << "name given twice, for another chip";
        EXPECT_NE(p.vendorIds[0], 0) << "the stock vendor id";
        EXPECT_NE(p.deviceIds[0], 0) << "the first device id";
        for (const uint16_t vendor : p.vendorIds) {
            for (const uint16_t device : p.deviceIds) {
                if (vendor == 0 || device == 0) continue;
                EXPECT_TRUE(ids.insert({vendor, device}).second) << "ids given twice";
                EXPECT_EQ(FindChipProfile(vendor, device), &p);
            }
        }
        EXPECT_LE(p.memMin, p.memMax);
        EXPECT_LE(p.chipMin, p.chipMax);
        ASSERT_NE(p.memoryClock, nullptr);
        // Only the NV3 chips clock memory and engine from one PLL; a chip with a core PLL of
        // its own is NV4 or later, which is what the select refusal's words go by.
        EXPECT_EQ(p.architecture, p.chipClock == nullptr ? ChipArchitecture::Nv3 : ChipArchitecture::Nv4);
        for (const ChipClock* clock : {p.memoryClock, p.chipClock}) {
            if (clock == nullptr) continue;
            EXPECT_TRUE(clock->clockOf && clock->wordFor && clock->changes != 0);
            EXPECT_TRUE(clock->pllOffset == kMemPllOffset || clock->pllOffset == kCorePllOffset);
        }
    }
    EXPECT_EQ(SupportedPciIds().size(), ids.size());
}

}  // namespace
}  // namespace tarvento
