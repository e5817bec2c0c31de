// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <bitset>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "chip/hardware_access.h"

struct pci_access;
struct pci_dev;

namespace tarvento {

// A function's folder name under devices/: "dddd:bb:dd.f" (domain may be longer than
// four hex digits on some machines).
struct SysfsSlot {
    uint32_t domain = 0;
    uint8_t bus = 0;
    uint8_t device = 0;    // 0..31
    uint8_t function = 0;  // 0..7
};
// Strict: anything else ("." , "..", stray files) is not a slot.
bool ParseSysfsSlotName(const char* name, SysfsSlot& out);
// The folder name of a slot as the kernel writes it, lower case: "0000:01:00.0". It is
// also how the program names an adapter to the user.
std::string SysfsSlotName(const SysfsSlot& slot);
// One line of a resource file, "0x<start> 0x<end> 0x<flags>" (more may follow); false for
// anything else.
bool ParseSysfsResourceLine(const std::string& line, uint64_t& start, uint64_t& end, uint64_t& flags);

// The machine as Linux shows it under /sys/bus/pci (or a virtual card laid out the same
// way): configuration space through libpci's linux-sysfs method, chip registers through
// an mmap of the device's resourceN file.
//
// It prints nothing: why a read or an access failed is kept as FailureReason(), for the
// layer that tells the user (the window's box, standard error without a window).
// Nothing in the tree is followed through a symbolic link except the device folders
// (real sysfs lists its devices as links; their attributes are regular files).
class SysfsHardware final : public HardwareAccess {
public:
    // `sysfsRoot` is the folder that holds devices/, e.g. /sys/bus/pci.
    explicit SysfsHardware(std::string sysfsRoot);
    ~SysfsHardware() override;
    SysfsHardware(const SysfsHardware&) = delete;
    SysfsHardware& operator=(const SysfsHardware&) = delete;

    // $TARVENTO_SYSFS_ROOT when set and not empty, otherwise /sys/bus/pci. Not taken from
    // the environment of a program started with more privileges than its user.
    static std::string SysfsRootFromEnvironment();

    // Highest bus number of domain 0000 under devices/; -1 when devices/ cannot be read.
    // Re-lists devices/ and frees the libpci device cache: the configuration reads that
    // follow use this fresh listing, so a card that came or went is seen.
    int LastBusNumber() override;

    bool ReadConfigDword(uint8_t bus, uint8_t device, uint8_t function, uint16_t offset,
                         uint16_t& low, uint16_t& high) override;
    // A read that meets the end of config past the standard header has Ended; one that
    // meets it before byte 64 has Failed (the kernel answers everyone those bytes).
    ConfigRead ReadConfigDwordOrEnd(uint8_t bus, uint8_t device, uint8_t function, uint16_t offset,
                                    uint16_t& low, uint16_t& high) override;

    // A pointer to the 32-bit register at `address` inside a memory BAR, or nullptr
    // (nothing touched) when no memory BAR holds all four bytes, the address is not 32-bit
    // aligned, or the mapping cannot be made. Once registers are bound to a function, only
    // that function's BAR0 (its resource0) is considered. Mappings are kept and reused;
    // every access through the pointer must stay a volatile 32-bit load or store.
    volatile uint32_t* MapPhysical(uint32_t address);

    std::optional<uint32_t> ReadRegister(uint32_t address) override;
    bool WriteRegister(uint32_t address, uint32_t value) override;
    void BindRegisters(uint8_t bus, uint8_t device, uint8_t function) override;
    AccessFailure FailureReason() const override { return failure_; }

private:
    // One memory or I/O window from a device's resource file.
    struct Window {
        uint64_t start = 0;
        uint64_t end = 0;  // inclusive
        uint64_t flags = 0;
        int index = 0;     // N of resourceN
        std::string deviceDir;
    };
    static constexpr size_t SlotIndex(unsigned bus, unsigned device, unsigned function) {
        return (size_t{bus} << 8) | (size_t{device} << 3) | function;
    }
    void TakeListing();
    void FreeDevices();
    pci_dev* Device(size_t slot);
    std::string ConfigPath(size_t slot) const;
    ConfigRead ReadHalf(pci_dev* dev, size_t slot, uint16_t offset, uint16_t& out);
    void LoadWindows();
    const Window* FindWindow(uint64_t address, bool& straddles) const;
    void Fail(AccessFailure::Kind kind, std::string path = {}, uint64_t value = 0, int error = 0);
    void FailConfig(AccessFailure::Kind kind, size_t slot, uint64_t value = 0, int error = 0);

    std::string root_;
    pci_access* pci_ = nullptr;
    bool listed_ = false;
    int lastBus_ = -1;
    std::bitset<65536> present_;  // domain 0000, indexed by SlotIndex
    std::map<size_t, pci_dev*> devices_;
    bool windowsLoaded_ = false;
    std::vector<Window> windows_;
    struct Mapping {
        void* base = nullptr;
        uint64_t validBytes = 0;  // how much of the page lies inside the file
    };
    std::map<std::pair<std::string, uint64_t>, Mapping> mappings_;  // resourceN file + page
    size_t pageSize_ = 4096;
    std::optional<std::string> boundDevice_;  // folder name of the function registers are tied to
    AccessFailure failure_;
};

}  // namespace tarvento
