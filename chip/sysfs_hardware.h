#pragma once

#include <bitset>
#include <cstdint>
#include <map>
#include <optional>
#include <set>
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

// The machine as Linux shows it under /sys/bus/pci (or a virtual card laid out the same
// way): configuration space through libpci's linux-sysfs method, chip registers through
// an mmap of the device's resourceN file.
//
// Messages go to standard error, prefixed "tarvento: ", each reason at most once for the
// life of the object (the program keeps one for the whole process).
class SysfsHardware final : public HardwareAccess {
public:
    // `sysfsRoot` is the folder that holds devices/, e.g. /sys/bus/pci.
    explicit SysfsHardware(std::string sysfsRoot);
    ~SysfsHardware() override;
    SysfsHardware(const SysfsHardware&) = delete;
    SysfsHardware& operator=(const SysfsHardware&) = delete;

    // $TARVENTO_SYSFS_ROOT when set and not empty, otherwise /sys/bus/pci.
    static std::string SysfsRootFromEnvironment();

    const std::string& SysfsRoot() const { return root_; }

    // Highest bus number of domain 0000 under devices/; -1 when devices/ cannot be read.
    // Takes a fresh listing of the functions present, which the configuration reads use.
    int PciBiosPresent() override;

    bool ReadConfigDword(uint8_t bus, uint8_t device, uint8_t function, uint16_t offset,
                         uint16_t& low, uint16_t& high) override;

    // A pointer to the 32-bit register at `address` inside a memory BAR of some device,
    // or nullptr (nothing touched) when no memory BAR holds all four bytes, the address
    // is not 32-bit aligned, or the mapping cannot be made. Mappings are kept and reused;
    // every access through the pointer must stay a volatile 32-bit load or store.
    volatile uint32_t* MapPhysical(uint32_t address);

    std::optional<uint32_t> ReadRegister(uint32_t address) override;
    bool WriteRegister(uint32_t address, uint32_t value) override;

private:
    // One memory or I/O window from a device's resource file.
    struct Window {
        uint64_t start = 0;
        uint64_t end = 0;  // inclusive
        uint64_t flags = 0;
        int index = 0;     // N of resourceN
        std::string deviceDir;
    };
    enum class Reason {
        ConfigNeedsPrivilege,
        ConfigUnreadable,
        ListingUnreadable,
        MapNeedsPrivilege,
        Lockdown,
        HeldByDriver,
        NoBar,
        Unaligned,
        FileTooSmall,
        MapFailed,
        RootTooLong,
    };

    static constexpr size_t SlotIndex(unsigned bus, unsigned device, unsigned function) {
        return (size_t{bus} << 8) | (size_t{device} << 3) | function;
    }
    void TakeListing();
    void FreeDevices();
    pci_dev* Device(size_t slot);
    bool ReadHalf(pci_dev* dev, uint16_t offset, uint16_t& out);
    void ReportConfigFailure(pci_dev* dev, uint16_t offset);
    void LoadWindows();
    const Window* FindWindow(uint64_t address, bool& straddles) const;
    void ReportOnce(Reason reason, const std::string& line);

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
    std::set<Reason> reported_;
};

}  // namespace tarvento
