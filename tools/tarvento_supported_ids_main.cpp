// SPDX-License-Identifier: GPL-3.0-or-later
// tarvento-supported-ids: prints every vendor/device pair the chip table recognises, one a
// line, as "vvvv dddd NAME" (lower-case hex, table order). The build writes the udev rule,
// the metainfo's modaliases and the list the package's scripts use from it, so that they
// name the cards this very build recognises, no more and no less.

#include <cstdio>

#include "chip/chip_table.h"

int main() {
    for (const tarvento::PciId& id : tarvento::SupportedPciIds()) {
        const tarvento::ChipProfile* profile = tarvento::FindChipProfile(id.vendorId, id.deviceId);
        if (profile == nullptr) return 1;  // the table would contradict itself
        if (std::printf("%04x %04x %s\n", id.vendorId, id.deviceId, profile->name) < 0) return 1;
    }
    return std::fflush(stdout) == 0 ? 0 : 1;
}
