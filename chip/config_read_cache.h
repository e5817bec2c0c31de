// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>

#include "chip/hardware_access.h"

namespace tarvento {

// The machine as one report sees it in one moment: the bus is listed once and each
// configuration dword is read from the machine once; a later read of the same dword gets
// what the first one got. A read that failed or met the end is not kept, nor an all-ones
// answer (no function there), so those reach the machine again. Register accesses always
// reach the machine. For a read-only report that walks the bus more than once (discovery,
// then the list of every display function), so that the second walk costs no second round
// of reads.
class ConfigReadCache : public HardwareAccess {
public:
    explicit ConfigReadCache(HardwareAccess& hw) : hw_(hw) {}

    int LastBusNumber() override;
    bool ReadConfigDword(uint8_t bus, uint8_t device, uint8_t function, uint16_t offset,
                         uint16_t& low, uint16_t& high) override;
    ConfigRead ReadConfigDwordOrEnd(uint8_t bus, uint8_t device, uint8_t function, uint16_t offset,
                                    uint16_t& low, uint16_t& high) override;
    std::optional<uint32_t> ReadRegister(uint32_t address) override { return hw_.ReadRegister(address); }
    bool WriteRegister(uint32_t address, uint32_t value) override {
        return hw_.WriteRegister(address, value);
    }
    void BindRegisters(uint8_t bus, uint8_t device, uint8_t function) override {
        hw_.BindRegisters(bus, device, function);
    }
    AccessFailure FailureReason() const override { return hw_.FailureReason(); }

private:
    bool Kept(uint32_t key, uint16_t& low, uint16_t& high) const;
    void Keep(uint32_t key, uint16_t low, uint16_t high);

    HardwareAccess& hw_;
    std::optional<int> lastBus_;
    std::unordered_map<uint32_t, uint32_t> dwords_;  // by ConfigKey: high << 16 | low
};

}  // namespace tarvento
