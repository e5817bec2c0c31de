// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>

#include "chip/registers.h"

namespace tarvento::testing {

// The cards of the tests, fake and virtual, have their registers at E0000000h.
inline constexpr uint32_t kBase = 0xE0000000;
inline constexpr uint32_t kMemPll = kBase + kMemPllOffset;
inline constexpr uint32_t kCorePll = kBase + kCorePllOffset;
inline constexpr uint32_t kStrap = kBase + kStrapOffset;
inline constexpr uint32_t kPllSelect = kBase + kPllSelectOffset;
// Strap words with the crystal bit set and clear.
inline constexpr uint32_t kStrapSet = kStrapCrystalBit;
inline constexpr uint32_t kStrapClear = 0x00;

// M = 12, N = 150, P = 1. With the strap's crystal bit set it reads 89 MHz on a RIVA 128
// and as a TNT memory clock, 90 MHz as a TNT core clock; the chip documentation's worked
// example.
inline constexpr uint32_t kWordN150 = 0x0001960C;
// What the set routines write into kWordN150 for 100 MHz with the crystal bit set.
inline constexpr uint32_t kRiva128At100 = 0x0001A70C;
inline constexpr uint32_t kTntMemAt100 = 0x0001A80C;
inline constexpr uint32_t kTntCoreAt100 = 0x0001A70C;

// The program an autostart entry of the tests starts.
inline constexpr const char* kProgramPath = "/opt/tarvento/bin/tarvento";

}  // namespace tarvento::testing
