// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "chip/hardware_access.h"

namespace tarvento {

// Configuration-space snapshot of the function read last: 64 little-endian words.
using ConfigHeader = std::array<uint32_t, 64>;

struct DisplayAdapter {
    uint16_t vendorId = 0;
    uint16_t deviceId = 0;
    uint32_t registerBase = 0;  // BAR0 with its four flag bits cleared
    // Where it was found; for reports only.
    uint8_t bus = 0;
    uint8_t device = 0;
    uint8_t function = 0;
};

// Process-wide discovery state. The header is never cleared between reads (words a
// read did not reach keep older values and are never consulted); registerBase is 0
// until the first successful discovery and keeps its value when a later one fails, and
// so does adapter, the function that discovery found last.
struct DiscoveryState {
    ConfigHeader pciConfigHeader{};
    uint32_t registerBase = 0;
    DisplayAdapter adapter{};
};

// Refreshes `header` for one function, word by word, stopping after word 2 unless the
// class word is 0300h. Returns &header, or nullptr when a configuration read failed.
// Past the standard header (words 16..63) the end of what the reader is answered is no
// failure: a reader without privileges is answered bytes 0..63 only, which hold all the
// program uses; the words past it then keep what they held.
const ConfigHeader* ReadConfigHeader(HardwareAccess& hw, ConfigHeader& header,
                                     uint8_t bus, uint8_t device, uint8_t function);

// The physical memory address BAR0 of a whole header names (a 64-bit BAR takes its high
// half from BAR1), or nothing for an I/O BAR0, which names ports.
std::optional<uint64_t> Bar0MemoryAddress(const ConfigHeader& header);

// The first function, in bus/device/function order, of class word 0300h with BAR0 not 0.
// On success fills `out`, records state.registerBase and returns true; otherwise returns
// false and leaves `out` and registerBase untouched.
bool FindDisplayAdapter(HardwareAccess& hw, DiscoveryState& state, DisplayAdapter& out);

// Why a discovery found nothing: what the machine said about the last read that failed,
// or that no adapter was there.
AccessFailure DiscoveryFailureReason(const HardwareAccess& hw);

// A display-class function (base class 03h) as a report lists it.
struct DisplayFunction {
    uint8_t bus = 0, device = 0, function = 0;
    uint16_t vendorId = 0, deviceId = 0;
    uint32_t classCode = 0;  // base class, subclass, programming interface
    uint32_t bar0 = 0;       // as read, flag bits included
};

// Every display-class function on the bus, in bus/device/function order, for a report:
// a user with two cards sees which one discovery takes. Reads the standard header only,
// into a header of its own; the process-wide discovery state is not touched.
std::vector<DisplayFunction> ListDisplayFunctions(HardwareAccess& hw);

}  // namespace tarvento
