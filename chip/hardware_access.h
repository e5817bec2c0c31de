#pragma once

#include <cstdint>
#include <optional>

namespace tarvento {

// The only two ways the program reaches the machine: PCI configuration space, read
// as 16-bit halves, and 32-bit chip registers by physical address. Everything above
// goes through this seam, so tests can put a scripted machine in its place.
class HardwareAccess {
public:
    virtual ~HardwareAccess() = default;

    // The number of the last PCI bus (0..255, inclusive bound of a bus scan), or -1
    // when there is no bus to scan.
    virtual int PciBiosPresent() = 0;

    // Reads the configuration dword at `offset` as two separate 16-bit reads, low half
    // first. A function that does not exist answers FFFFh in both halves. Returns false
    // when a half could not be read; a low half already read has then been stored.
    virtual bool ReadConfigDword(uint8_t bus, uint8_t device, uint8_t function,
                                 uint16_t offset, uint16_t& low, uint16_t& high) = 0;

    // One 32-bit access to the chip register at a physical address. Never answered
    // from a copy: every call reaches the hardware. Fails, touching nothing, when the
    // address cannot be mapped.
    virtual std::optional<uint32_t> ReadRegister(uint32_t address) = 0;
    virtual bool WriteRegister(uint32_t address, uint32_t value) = 0;
};

}  // namespace tarvento
