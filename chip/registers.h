// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>

// Register offsets and field layouts, each beside its decoding.
namespace tarvento {

// --- PCI configuration header (byte offsets) ---
inline constexpr uint16_t kConfigVendorId = 0x00;   // FFFFh: no function here
inline constexpr uint16_t kConfigDeviceId = 0x02;   // FFFFh: no function here
inline constexpr uint16_t kConfigClassWord = 0x0A;  // subclass (low byte), base class (high)
inline constexpr uint16_t kConfigBar0 = 0x10;
inline constexpr uint16_t kClassVgaCompatible = 0x0300;
inline constexpr uint16_t kNoFunction = 0xFFFF;
inline constexpr uint32_t kBarFlagBits = 0x0000000F;  // low 4 bits of a BAR are flags
inline constexpr uint32_t kBarIoSpace = 0x00000001;   // bit 0: an I/O BAR (ports, not memory)
inline constexpr uint32_t kBarMemTypeMask = 0x00000006;
inline constexpr uint32_t kBarMemType64 = 0x00000004; // a 64-bit memory BAR: BAR1 is its high half
inline constexpr int kConfigHeaderWords = 64;

// --- Chip registers (offsets from the register base, BAR0) ---
inline constexpr uint32_t kCorePllOffset = 0x680500;  // chip (core) clock PLL
inline constexpr uint32_t kMemPllOffset = 0x680504;   // memory clock PLL
inline constexpr uint32_t kStrapOffset = 0x101000;    // boot straps
inline constexpr uint32_t kStrapCrystalBit = 0x40;    // selects the crystal correction

// --- PLL coefficient word: M in bits 0..7, N in 8..15, P in 16..19 ---
inline constexpr uint32_t kPllMMask = 0x000000FF;
inline constexpr uint32_t kPllNShift = 8;
inline constexpr uint32_t kPllNMask = 0x0000FF00;
inline constexpr uint32_t kPllPShift = 16;
inline constexpr uint32_t kPllPMask = 0x000F0000;
// The PLL's own post divider has three bits, 16..18: the TNT2 family is read and set by
// that field, while the fitted formulas of the older chips take bit 19 into P as well.
inline constexpr uint32_t kPllThreeBitPMask = 0x00070000;

constexpr uint32_t PllM(uint32_t v) { return v & kPllMMask; }
constexpr uint32_t PllN(uint32_t v) { return (v >> kPllNShift) & 0xFF; }
constexpr uint32_t PllP(uint32_t v) { return (v >> kPllPShift) & 0x0F; }
// P as a chip with the P field `pMask` (kPllPMask or kPllThreeBitPMask) decodes it.
constexpr uint32_t PllP(uint32_t v, uint32_t pMask) { return (v & pMask) >> kPllPShift; }
// The fitted formulas change N alone; every other bit is written back as read.
constexpr uint32_t PllWithN(uint32_t v, uint32_t n) { return (v & ~kPllNMask) | ((n & 0xFF) << kPllNShift); }

constexpr bool StrapCrystalBitSet(uint32_t strap) { return (strap & kStrapCrystalBit) != 0; }

// --- PLL coefficient select: which PLLs run from their programmed word ---
// With its bit clear a PLL runs from the chip's built-in clock and its coefficient word is
// only stored: writing it changes nothing. The reset value is 0; a driver sets the bits
// when it sets a display mode. The program reads this word and never writes it.
inline constexpr uint32_t kPllSelectOffset = 0x68050C;
// The memory PLL (on a RIVA 128 / 128ZX it clocks memory and graphics engine alike).
inline constexpr uint32_t kPllSelectMemBit = 0x00000100;
inline constexpr uint32_t kPllSelectCoreBit = 0x00000400;  // the RIVA TNT's core PLL
// What the drivers leave after a mode set: the memory, video and core PLLs programmed on a
// RIVA TNT; the memory and video PLLs on a RIVA 128 / 128ZX.
inline constexpr uint32_t kPllSelectTntDriver = 0x10000700;
inline constexpr uint32_t kPllSelectRiva128Driver = 0x10010100;

// The select bit of the PLL at `pllOffset`; 0 for an offset that is no PLL the program sets.
constexpr uint32_t PllSelectBit(uint32_t pllOffset) {
    return pllOffset == kMemPllOffset    ? kPllSelectMemBit
           : pllOffset == kCorePllOffset ? kPllSelectCoreBit
                                         : 0;
}
// The bits of `needed` that the select word leaves clear: PLLs a write would not change.
constexpr uint32_t PllSelectMissing(uint32_t select, uint32_t needed) { return needed & ~select; }

}  // namespace tarvento
