#include "chip/adapter_discovery.h"

#include "chip/registers.h"

namespace tarvento {

namespace {

constexpr int kClassWordIndex = kConfigClassWord / 4;  // word 2, high half
constexpr int kBar0Index = kConfigBar0 / 4;
constexpr int kDevicesPerBus = 32;
constexpr int kFunctionsPerDevice = 8;
constexpr int kHighestBus = 255;

}  // namespace

const ConfigHeader* ReadConfigHeader(HardwareAccess& hw, ConfigHeader& header, uint8_t bus,
                                     uint8_t device, uint8_t function) {
    for (int i = 0; i < kConfigHeaderWords; ++i) {
        uint16_t low = 0;
        uint16_t high = 0;
        if (!hw.ReadConfigDword(bus, device, function, static_cast<uint16_t>(4 * i), low, high)) {
            return nullptr;
        }
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
    const int last = hw.PciBiosPresent();
    if (last < 0) return false;
    // Wider than a bus number, so that a last bus of 255 still ends the loop.
    const int lastBus = last > kHighestBus ? kHighestBus : last;
    for (int bus = 0; bus <= lastBus; ++bus) {
        for (int device = 0; device < kDevicesPerBus; ++device) {
            for (int function = 0; function < kFunctionsPerDevice; ++function) {
                const ConfigHeader* h =
                    ReadConfigHeader(hw, state.PciConfigHeader, static_cast<uint8_t>(bus),
                                     static_cast<uint8_t>(device), static_cast<uint8_t>(function));
                if (h == nullptr) break;
                const uint16_t vendorId = static_cast<uint16_t>((*h)[0]);
                const uint16_t deviceId = static_cast<uint16_t>((*h)[0] >> 16);
                // No function here: the rest of this device is not probed either.
                if (vendorId == kNoFunction || deviceId == kNoFunction) break;
                const uint16_t classWord = static_cast<uint16_t>((*h)[kClassWordIndex] >> 16);
                const uint32_t bar0 = (*h)[kBar0Index];
                if (classWord == kClassVgaCompatible && bar0 != 0) {
                    const uint32_t base = bar0 & ~kBarFlagBits;
                    state.RegisterBase = base;
                    out.vendorId = vendorId;
                    out.deviceId = deviceId;
                    out.registerBase = base;
                    out.bus = static_cast<uint8_t>(bus);
                    out.device = static_cast<uint8_t>(device);
                    out.function = static_cast<uint8_t>(function);
                    return true;
                }
            }
        }
    }
    return false;
}

}  // namespace tarvento
