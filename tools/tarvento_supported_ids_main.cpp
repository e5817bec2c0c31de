// SPDX-License-Identifier: GPL-3.0-or-later
// tarvento-supported-ids: prints every vendor/device pair the chip table recognises, one a
// line, as "vvvv dddd NAME" (lower-case hex, table order). The build writes the udev rule,
// the metainfo's modaliases and the list the package's scripts use from it, so that they
// name the cards this very build recognises, no more and no less.
// With --chips it prints each chip once instead (its first row), as "NAME MEMMIN MEMMAX
// CHIPMIN CHIPMAX linked|independent vvvv..." (slider limits in MHz, then its vendor ids;
// table order), for the manual pages.

#include <cstdint>
#include <cstdio>
#include <cstring>

#include "chip/chip_table.h"

int main(int argc, char** argv) {
    if (argc == 2 && std::strcmp(argv[1], "--chips") == 0) {
        for (const tarvento::ChipProfile* chip : tarvento::DistinctChips()) {
            const char* link = chip->linkMode == tarvento::LinkMode::Linked ? "linked" : "independent";
            if (std::printf("%s %d %d %d %d %s", chip->name, chip->memMin, chip->memMax,
                            chip->chipMin, chip->chipMax, link) < 0)
                return 1;
            for (const uint16_t vendor : chip->vendorIds)
                if (vendor != 0 && std::printf(" %04x", vendor) < 0) return 1;
            if (std::printf("\n") < 0) return 1;
        }
        return std::fflush(stdout) == 0 ? 0 : 1;
    }
    if (argc != 1) {
        std::fputs("usage: tarvento-supported-ids [--chips]\n", stderr);
        return 2;
    }
    for (const tarvento::PciId& id : tarvento::SupportedPciIds()) {
        const tarvento::ChipProfile* profile = tarvento::FindChipProfile(id.vendorId, id.deviceId);
        if (profile == nullptr) return 1;  // the table would contradict itself
        if (std::printf("%04x %04x %s\n", id.vendorId, id.deviceId, profile->name) < 0) return 1;
    }
    return std::fflush(stdout) == 0 ? 0 : 1;
}
