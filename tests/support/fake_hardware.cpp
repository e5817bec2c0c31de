// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/fake_hardware.h"

#include <algorithm>

#include "tests/support/card_constants.h"

namespace tarvento::testing {

namespace {
void Put16(std::vector<uint8_t>& c, size_t at, uint16_t v) {
    c[at] = static_cast<uint8_t>(v);
    c[at + 1] = static_cast<uint8_t>(v >> 8);
}
uint16_t Get16(const std::vector<uint8_t>& c, size_t at) {
    return static_cast<uint16_t>(c[at] | (c[at + 1] << 8));
}
}  // namespace

FakeHardware::FakeHardware() { SetRegister(kPllSelect, kPllSelectTntDriver); }

void FakeHardware::AddFunction(uint8_t bus, uint8_t device, uint8_t function,
                               uint16_t vendorId, uint16_t deviceId, uint16_t classWord,
                               uint32_t bar0) {
    std::vector<uint8_t> c(256, 0);
    Put16(c, 0x00, vendorId);
    Put16(c, 0x02, deviceId);
    Put16(c, 0x0A, classWord);
    Put16(c, 0x10, static_cast<uint16_t>(bar0));
    Put16(c, 0x12, static_cast<uint16_t>(bar0 >> 16));
    config_[{bus, device, function}] = c;
}

void FakeHardware::FailConfigReadAt(uint8_t bus, uint8_t device, uint8_t function,
                                    uint16_t offset) {
    configFailures_[{{bus, device, function}, offset}] = true;
}

uint32_t FakeHardware::Register(uint32_t address) const {
    auto it = registers_.find(address);
    return it == registers_.end() ? 0 : it->second;
}

std::vector<FakeHardware::Access> FakeHardware::Writes() const {
    std::vector<Access> w;
    std::copy_if(log_.begin(), log_.end(), std::back_inserter(w),
                 [](const Access& a) { return a.kind == Access::Write; });
    return w;
}

int FakeHardware::CountAccesses(Access::Kind kind, uint32_t address) const {
    return static_cast<int>(std::count_if(log_.begin(), log_.end(), [&](const Access& a) {
        return a.kind == kind && a.address == address;
    }));
}

int FakeHardware::LastBusNumber() { return lastBus; }

HardwareAccess::ConfigRead FakeHardware::ReadConfigDwordOrEnd(uint8_t bus, uint8_t device,
                                                              uint8_t function, uint16_t offset,
                                                              uint16_t& low, uint16_t& high) {
    if (offset >= answeredConfigBytes && config_.count(Slot{bus, device, function}) != 0) {
        const uint32_t where = (uint32_t{bus} << 16) | (uint32_t{device} << 11) |
                               (uint32_t{function} << 8) | offset;
        log_.push_back({Access::Config, where, 0xFFFFFFFF});
        return ConfigRead::Ended;
    }
    return ReadConfigDword(bus, device, function, offset, low, high) ? ConfigRead::Read
                                                                     : ConfigRead::Failed;
}

bool FakeHardware::ReadConfigDword(uint8_t bus, uint8_t device, uint8_t function,
                                   uint16_t offset, uint16_t& low, uint16_t& high) {
    const Slot slot{bus, device, function};
    const uint32_t where = (uint32_t{bus} << 16) | (uint32_t{device} << 11) |
                           (uint32_t{function} << 8) | offset;
    auto half = [&](uint16_t at, uint16_t& out) {
        if (configFailures_.count({slot, at})) return false;
        auto it = config_.find(slot);
        out = it == config_.end() ? 0xFFFF : Get16(it->second, at);
        return true;
    };
    if (!half(offset, low)) {
        log_.push_back({Access::Config, where, 0xFFFFFFFF});
        return false;
    }
    if (!half(static_cast<uint16_t>(offset + 2), high)) {
        log_.push_back({Access::Config, where, 0xFFFFFFFF});
        return false;
    }
    log_.push_back({Access::Config, where, (uint32_t{high} << 16) | low});
    return true;
}

std::optional<uint32_t> FakeHardware::ReadRegister(uint32_t address) {
    if (std::find(failing_.begin(), failing_.end(), address) != failing_.end()) return std::nullopt;
    const uint32_t v = Register(address);
    log_.push_back({Access::Read, address, v});
    return v;
}

bool FakeHardware::WriteRegister(uint32_t address, uint32_t value) {
    if (std::find(failing_.begin(), failing_.end(), address) != failing_.end()) return false;
    registers_[address] = value;
    log_.push_back({Access::Write, address, value});
    return true;
}

}  // namespace tarvento::testing
