// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "chip/sysfs_hardware.h"

// Virtual cards: folders laid out like /sys/bus/pci, one devices/dddd:bb:dd.f/ folder per
// function, which the program reads through the same libpci and mmap paths as the
// machine's own bus. Register writes land in resource0 and persist.
namespace tarvento::virtualcard {

inline constexpr uint32_t kRegisterBarSize = 0x01000000;  // 16 MiB of chip registers
inline constexpr uint32_t kFirstDefaultBar0 = 0xE0000000;
inline constexpr uint32_t kDisplayVgaClass = 0x030000;
inline constexpr size_t kConfigSize = 256;

// A function as it is written to (or read back from) a tree.
struct VirtualCard {
    SysfsSlot slot{0, 1, 0, 0};
    uint16_t vendorId = 0;
    uint16_t deviceId = 0;
    uint32_t classCode = kDisplayVgaClass;  // base class, subclass, programming interface
    uint32_t bar0 = 0;                      // as in configuration space, flag bits included
    uint8_t irq = 11;
    // resource0 with the PLL and strap words; only for a memory BAR0 that is not 0.
    bool hasRegisters = false;
    uint32_t corePll = 0;
    uint32_t memPll = 0;
    uint32_t strap = 0;
    uint32_t pllSelect = 0;  // which PLLs run from their programmed word
};

// What `create` is asked for. Unset fields take their defaults: the chip's stock
// values, the first free slot 0000:01:DD.0, the first free 16 MiB window from E0000000h.
struct CardRequest {
    std::string chip{};  // a chip name of the chip table, or VVVV:DDDD (hex)
    std::optional<SysfsSlot> slot{};
    std::optional<uint32_t> classCode{};
    std::optional<uint32_t> bar0{};
    std::optional<uint32_t> strap{};
    std::optional<uint32_t> corePll{};
    std::optional<uint32_t> memPll{};
    std::optional<uint32_t> pllSelect{};
};

// Stock registers of a chip, by name: a RIVA TNT whose PLLs read 90 MHz (core) and
// 110 MHz (memory), a RIVA 128 / 128ZX at 100 MHz, a chip of the TNT2 family at its stock
// clocks (RIVA_TNT2 and TNT2_M64 125 / 150 MHz, TNT2_ULTRA 150 / 183, RIVA_VANTA 100 / 125);
// all with a 14.318 MHz crystal strap and the PLL select word a driver leaves after a mode
// set (every PLL runs from its word). The chip's first device id.
std::optional<VirtualCard> StockCard(std::string_view chipName);

// "0000:01:00.0" as a slot (SysfsSlotName gives the text back).
std::optional<SysfsSlot> ParseSlot(std::string_view text);

// Fills every unset field of `request` against the tree at `root` (which may not exist
// yet). False with `error` set when the request cannot be met.
bool ResolveRequest(const std::filesystem::path& root, const CardRequest& request,
                    VirtualCard& out, std::string& error);

// Adds one function to the tree at `root`, creating root/devices/ when needed. The
// function's folder appears whole or not at all; an existing slot is never touched.
bool CreateCard(const std::filesystem::path& root, const VirtualCard& card, std::string& error);

// Every function of the tree, in domain/bus/device/function order, as its files say.
// A function whose config cannot be read is reported in `problems` and left out.
bool ReadCards(const std::filesystem::path& root, std::vector<VirtualCard>& cards,
               std::vector<std::string>& problems, std::string& error);

// The text `show` prints for one function: slot, ids, class, BAR0 and, for a card with
// registers, each PLL word decoded (M, N, P) with the clock it reads as, strap bit 6, and
// which PLLs the select word runs from their programmed words.
std::string DescribeCard(const VirtualCard& card);

}  // namespace tarvento::virtualcard
