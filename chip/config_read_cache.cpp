// SPDX-License-Identifier: GPL-3.0-or-later
#include "chip/config_read_cache.h"

namespace tarvento {

namespace {

// Bus, device (5 bits), function (3 bits) and a 16-bit offset in one word.
uint32_t ConfigKey(uint8_t bus, uint8_t device, uint8_t function, uint16_t offset) {
    return (uint32_t{bus} << 24) | (uint32_t{device & 0x1Fu} << 19) |
           (uint32_t{function & 0x07u} << 16) | offset;
}

}  // namespace

int ConfigReadCache::LastBusNumber() {
    if (!lastBus_) lastBus_ = hw_.LastBusNumber();
    return *lastBus_;
}

bool ConfigReadCache::Kept(uint32_t key, uint16_t& low, uint16_t& high) const {
    const auto it = dwords_.find(key);
    if (it == dwords_.end()) return false;
    low = static_cast<uint16_t>(it->second);
    high = static_cast<uint16_t>(it->second >> 16);
    return true;
}

void ConfigReadCache::Keep(uint32_t key, uint16_t low, uint16_t high) {
    // Most of a bus is empty slots, and the machine answers their all ones at no cost:
    // keeping them would cost more than asking again.
    if (low == 0xFFFF && high == 0xFFFF) return;
    dwords_[key] = (uint32_t{high} << 16) | low;
}

bool ConfigReadCache::ReadConfigDword(uint8_t bus, uint8_t device, uint8_t function,
                                      uint16_t offset, uint16_t& low, uint16_t& high) {
    const uint32_t key = ConfigKey(bus, device, function, offset);
    if (Kept(key, low, high)) return true;
    if (!hw_.ReadConfigDword(bus, device, function, offset, low, high)) return false;
    Keep(key, low, high);
    return true;
}

HardwareAccess::ConfigRead ConfigReadCache::ReadConfigDwordOrEnd(uint8_t bus, uint8_t device,
                                                                 uint8_t function, uint16_t offset,
                                                                 uint16_t& low, uint16_t& high) {
    const uint32_t key = ConfigKey(bus, device, function, offset);
    if (Kept(key, low, high)) return ConfigRead::Read;
    const ConfigRead read = hw_.ReadConfigDwordOrEnd(bus, device, function, offset, low, high);
    if (read == ConfigRead::Read) Keep(key, low, high);
    return read;
}

}  // namespace tarvento
