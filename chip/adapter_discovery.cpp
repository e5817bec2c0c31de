// SPDX-License-Identifier: GPL-3.0-or-later
#include "chip/adapter_discovery.h"

#include "chip/registers.h"

namespace tarvento {

namespace {

constexpr int kClassWordIndex = kConfigClassWord / 4;  // word 2, high half
constexpr int kBar0Index = kConfigBar0 / 4;
constexpr int kDevicesPerBus = 32;
constexpr int kFunctionsPerDevice = 8;
constexpr int kHighestBus = 255;
constexpr int kStandardHeaderWords = 16;  // bytes 0..63
constexpr uint8_t kDisplayBaseClass = 0x03;

// What a visit of one function asks of the walk next.
enum class Walk { NextFunction, NextDevice, Stop };

// Visits every function of every device on buses 0 to the last one, in that order, until
// a visit says Stop; NextDevice leaves the rest of this device's functions unprobed.
// Nothing at all when the machine has no readable bus.
template <typename Visit>
void WalkFunctions(HardwareAccess& hw, Visit visit) {
    const int last = hw.LastBusNumber();
    if (last < 0) return;
    // Wider than a bus number, so that a last bus of 255 still ends the loop.
    const int lastBus = last > kHighestBus ? kHighestBus : last;
    for (int bus = 0; bus <= lastBus; ++bus) {
        for (int device = 0; device < kDevicesPerBus; ++device) {
            for (int function = 0; function < kFunctionsPerDevice; ++function) {
                const Walk next = visit(static_cast<uint8_t>(bus), static_cast<uint8_t>(device),
                                        static_cast<uint8_t>(function));
                if (next == Walk::Stop) return;
                if (next == Walk::NextDevice) break;
            }
        }
    }
}

}  // namespace

const ConfigHeader* ReadConfigHeader(HardwareAccess& hw, ConfigHeader& header, uint8_t bus,
                                     uint8_t device, uint8_t function) {
    for (int i = 0; i < kConfigHeaderWords; ++i) {
        uint16_t low = 0;
        uint16_t high = 0;
        const auto read =
            hw.ReadConfigDwordOrEnd(bus, device, function, static_cast<uint16_t>(4 * i), low, high);
        if (read == HardwareAccess::ConfigRead::Ended && i >= kStandardHeaderWords) break;
        if (read != HardwareAccess::ConfigRead::Read) return nullptr;
        header[i] = (uint32_t{high} << 16) | low;
        // Only a VGA-compatible controller is worth the rest of its header.
        if (i == kClassWordIndex && high != kClassVgaCompatible) break;
    }
    return &header;
}

std::optional<uint64_t> Bar0MemoryAddress(const ConfigHeader& header) {
    const uint32_t bar0 = header[kBar0Index];
    if ((bar0 & kBarIoSpace) != 0) return std::nullopt;
    uint64_t address = bar0 & ~kBarFlagBits;
    if ((bar0 & kBarMemTypeMask) == kBarMemType64) address |= uint64_t{header[kBar0Index + 1]} << 32;
    return address;
}

bool FindDisplayAdapter(HardwareAccess& hw, DiscoveryState& state, DisplayAdapter& out) {
    bool found = false;
    WalkFunctions(hw, [&](uint8_t bus, uint8_t device, uint8_t function) {
        const ConfigHeader* h = ReadConfigHeader(hw, state.pciConfigHeader, bus, device, function);
        if (h == nullptr) return Walk::NextDevice;
        const uint16_t vendorId = static_cast<uint16_t>((*h)[0]);
        const uint16_t deviceId = static_cast<uint16_t>((*h)[0] >> 16);
        // No function here: the rest of this device is not probed either.
        if (vendorId == kNoFunction || deviceId == kNoFunction) return Walk::NextDevice;
        const uint16_t classWord = static_cast<uint16_t>((*h)[kClassWordIndex] >> 16);
        const uint32_t bar0 = (*h)[kBar0Index];
        if (classWord != kClassVgaCompatible || bar0 == 0) return Walk::NextFunction;
        const uint32_t base = bar0 & ~kBarFlagBits;
        state.registerBase = base;
        out.vendorId = vendorId;
        out.deviceId = deviceId;
        out.registerBase = base;
        out.bus = bus;
        out.device = device;
        out.function = function;
        state.adapter = out;
        found = true;
        return Walk::Stop;
    });
    return found;
}

AccessFailure DiscoveryFailureReason(const HardwareAccess& hw) {
    const AccessFailure reason = hw.FailureReason();
    return reason.Known() ? reason : AccessFailure::Of(AccessFailure::Kind::NoDisplayAdapter);
}

std::vector<DisplayFunction> ListDisplayFunctions(HardwareAccess& hw) {
    std::vector<DisplayFunction> found;
    WalkFunctions(hw, [&](uint8_t b, uint8_t d, uint8_t f) {
        uint16_t ids[2], classWords[2], bar[2];
        if (!hw.ReadConfigDword(b, d, f, 0, ids[0], ids[1])) return Walk::NextDevice;
        if (ids[0] == kNoFunction || ids[1] == kNoFunction) return Walk::NextDevice;
        if (!hw.ReadConfigDword(b, d, f, 8, classWords[0], classWords[1])) return Walk::NextDevice;
        if ((classWords[1] >> 8) != kDisplayBaseClass) return Walk::NextFunction;
        if (!hw.ReadConfigDword(b, d, f, kConfigBar0, bar[0], bar[1])) return Walk::NextFunction;
        found.push_back({b, d, f, ids[0], ids[1],
                         (uint32_t{classWords[1]} << 8) | (classWords[0] >> 8),
                         (uint32_t{bar[1]} << 16) | bar[0]});
        return Walk::NextFunction;
    });
    return found;
}

}  // namespace tarvento
