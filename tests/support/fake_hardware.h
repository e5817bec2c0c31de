// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "chip/hardware_access.h"

namespace tarvento::testing {

// A scripted machine: configuration spaces by slot, registers by physical address, and a
// log of every access in order, so tests can check what was touched and in which order.
class FakeHardware : public HardwareAccess {
public:
    struct Access {
        enum Kind { Config, Read, Write } kind;
        uint32_t address;  // register address, or (bus << 16 | device << 11 | function << 8 | offset)
        uint32_t value;    // value written, or value read (config: high << 16 | low)
        friend bool operator==(const Access&, const Access&) = default;
    };

    // The card at kBase as a driver leaves it: every PLL runs from its programmed word
    // (bit 8 serves a RIVA 128 as well). A test of the other case clears it.
    FakeHardware();

    int lastBus = 0;  // what LastBusNumber answers
    // How much of a present function's configuration space this reader is answered; a
    // read at or past it meets the end (64: what Linux answers a normal user).
    uint16_t answeredConfigBytes = 0xFFFF;

    // Adds a function with a 256-byte configuration space: vendor, device, class word
    // and BAR0 set, everything else zero.
    void AddFunction(uint8_t bus, uint8_t device, uint8_t function, uint16_t vendorId,
                     uint16_t deviceId, uint16_t classWord, uint32_t bar0);
    // Makes the configuration read of this slot fail at the given byte offset.
    void FailConfigReadAt(uint8_t bus, uint8_t device, uint8_t function, uint16_t offset);

    void SetRegister(uint32_t address, uint32_t value) { registers_[address] = value; }
    uint32_t Register(uint32_t address) const;
    // Makes every read (and write) of this address fail.
    void FailRegister(uint32_t address) { failing_.push_back(address); }

    const std::vector<Access>& Log() const { return log_; }
    void ClearLog() { log_.clear(); }
    std::vector<Access> Writes() const;
    int CountAccesses(Access::Kind kind, uint32_t address) const;

    int LastBusNumber() override;
    bool ReadConfigDword(uint8_t bus, uint8_t device, uint8_t function, uint16_t offset,
                         uint16_t& low, uint16_t& high) override;
    ConfigRead ReadConfigDwordOrEnd(uint8_t bus, uint8_t device, uint8_t function, uint16_t offset,
                                    uint16_t& low, uint16_t& high) override;
    std::optional<uint32_t> ReadRegister(uint32_t address) override;
    bool WriteRegister(uint32_t address, uint32_t value) override;

private:
    using Slot = std::tuple<uint8_t, uint8_t, uint8_t>;
    std::map<Slot, std::vector<uint8_t>> config_;
    std::map<std::pair<Slot, uint16_t>, bool> configFailures_;
    std::map<uint32_t, uint32_t> registers_;
    std::vector<uint32_t> failing_;
    std::vector<Access> log_;
};

}  // namespace tarvento::testing
