// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "chip/access_failure.h"

namespace tarvento {

// The only two ways the program reaches the machine: PCI configuration space, read
// as 16-bit halves, and 32-bit chip registers by physical address. Everything above
// goes through this seam, so tests can put a scripted machine in its place.
class HardwareAccess {
public:
    virtual ~HardwareAccess() = default;

    // The number of the last PCI bus (0..255, inclusive bound of a bus scan), or -1
    // when there is no bus to scan. Not a plain question: it starts a new bus scan, so
    // the machine lists its devices afresh and forgets what it held about the old
    // listing (cached devices, the last failure).
    virtual int LastBusNumber() = 0;

    // Reads the configuration dword at `offset` as two separate 16-bit reads, low half
    // first. A function that does not exist answers FFFFh in both halves. Returns false
    // when a half could not be read; a low half already read has then been stored.
    virtual bool ReadConfigDword(uint8_t bus, uint8_t device, uint8_t function,
                                 uint16_t offset, uint16_t& low, uint16_t& high) = 0;

    // The same read, telling a failure from the end of what this reader is answered:
    // Linux gives a reader without CAP_SYS_ADMIN only the standard header (bytes 0..63)
    // and then end of file, although the file keeps its full size. A machine that always
    // answers the whole space has no end to report.
    enum class ConfigRead { Read, Failed, Ended };
    virtual ConfigRead ReadConfigDwordOrEnd(uint8_t bus, uint8_t device, uint8_t function,
                                            uint16_t offset, uint16_t& low, uint16_t& high) {
        return ReadConfigDword(bus, device, function, offset, low, high) ? ConfigRead::Read
                                                                         : ConfigRead::Failed;
    }

    // One 32-bit access to the chip register at a physical address. Never answered
    // from a copy: every call reaches the hardware. Fails, touching nothing, when the
    // address cannot be mapped.
    virtual std::optional<uint32_t> ReadRegister(uint32_t address) = 0;
    virtual bool WriteRegister(uint32_t address, uint32_t value) = 0;

    // Ties every later register access to the memory BAR0 of one function, the adapter
    // that was recognised: an address outside it is refused, whichever other device's
    // memory holds it. A machine that knows no devices has nothing to tie.
    virtual void BindRegisters(uint8_t bus, uint8_t device, uint8_t function) {
        (void)bus, (void)device, (void)function;
    }

    // Why the last failed configuration read or register access failed, as facts; None
    // when the machine cannot say. A new bus scan (LastBusNumber) forgets it.
    virtual AccessFailure FailureReason() const { return {}; }
};

}  // namespace tarvento
