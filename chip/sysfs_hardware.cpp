#include "chip/sysfs_hardware.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cinttypes>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

// pci.h declares plain C functions but carries no extern "C" of its own.
extern "C" {
#include <pci/pci.h>
}

namespace tarvento {

namespace {

constexpr const char* kDefaultSysfsRoot = "/sys/bus/pci";
constexpr uint64_t kIoResourceMem = 0x200;  // IORESOURCE_MEM in a resource file's flags
constexpr int kBarCount = 6;                // resource0..5; line 6 is the ROM
constexpr uint16_t kUnprivilegedConfigBytes = 64;
constexpr int kCapSysAdmin = 21;
// libpci builds "<root>/devices/dddd:bb:dd.f/config" in a 1024-byte buffer and calls
// its error handler (which must not return) when the name does not fit: keep well clear.
constexpr size_t kMaxRootLength = 900;

// libpci calls this only where it cannot go on. Ours never returns, as libpci requires,
// and never ends the process quietly. The paths this file takes avoid every call of it
// (no pci_scan_bus, no over-long names), so reaching it is a fault worth a core dump.
// GNU spelling: clang counts it as part of the type, which libpci's field has too.
__attribute__((noreturn)) void OnPciError(char* msg, ...) {
    va_list args;
    va_start(args, msg);
    std::fputs("tarvento: libpci: ", stderr);
    std::vfprintf(stderr, msg, args);
    std::fputc('\n', stderr);
    va_end(args);
    std::abort();
}

// libpci's warnings ("Cannot open ...") describe failures we report ourselves, in the
// program's own words, through the result of the read.
void OnPciWarning(char*, ...) {}
void OnPciDebug(char*, ...) {}

bool HasEffectiveCapability(int cap) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("CapEff:", 0) != 0) continue;
        const unsigned long long caps = std::strtoull(line.c_str() + 7, nullptr, 16);
        return ((caps >> cap) & 1) != 0;
    }
    return geteuid() == 0;
}

// "integrity" or "confidentiality" when the kernel is locked down, otherwise empty.
std::string LockdownMode() {
    std::ifstream file("/sys/kernel/security/lockdown");
    std::string text;
    std::getline(file, text);
    const size_t open = text.find('[');
    const size_t close = text.find(']', open);
    if (open == std::string::npos || close == std::string::npos) return {};
    std::string mode = text.substr(open + 1, close - open - 1);
    return mode == "none" ? std::string() : mode;
}

std::string Hex32(uint64_t value) {
    char text[24];
    std::snprintf(text, sizeof text, "0x%08" PRIX64, value);
    return text;
}

// One line of a sysfs resource file: "0x<start> 0x<end> 0x<flags>".
bool ParseResourceLine(const std::string& line, uint64_t& start, uint64_t& end, uint64_t& flags) {
    std::istringstream in(line);
    std::string a, b, c;
    if (!(in >> a >> b >> c)) return false;
    auto hex = [](const std::string& s, uint64_t& out) {
        if (s.size() < 3 || s.size() > 18 || s[0] != '0' || (s[1] != 'x' && s[1] != 'X')) return false;
        char* stop = nullptr;
        errno = 0;
        out = std::strtoull(s.c_str() + 2, &stop, 16);
        return errno == 0 && stop != nullptr && *stop == '\0';
    };
    return hex(a, start) && hex(b, end) && hex(c, flags);
}

bool ParseHexField(const char*& p, size_t minDigits, size_t maxDigits, uint32_t& out) {
    size_t digits = 0;
    uint32_t value = 0;
    while (digits < maxDigits) {
        const char c = *p;
        int v;
        if (c >= '0' && c <= '9') v = c - '0';
        else if (c >= 'a' && c <= 'f') v = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F') v = c - 'A' + 10;
        else break;
        value = (value << 4) | static_cast<uint32_t>(v);
        ++p;
        ++digits;
    }
    out = value;
    return digits >= minDigits;
}

}  // namespace

bool ParseSysfsSlotName(const char* name, SysfsSlot& out) {
    const char* p = name;
    uint32_t domain, bus, device, function;
    if (!ParseHexField(p, 4, 8, domain) || *p++ != ':') return false;
    if (!ParseHexField(p, 2, 2, bus) || *p++ != ':') return false;
    if (!ParseHexField(p, 2, 2, device) || *p++ != '.') return false;
    if (!ParseHexField(p, 1, 1, function) || *p != '\0') return false;
    if (device > 31 || function > 7) return false;
    out = {domain, static_cast<uint8_t>(bus), static_cast<uint8_t>(device),
           static_cast<uint8_t>(function)};
    return true;
}

SysfsHardware::SysfsHardware(std::string sysfsRoot) : root_(std::move(sysfsRoot)) {
    const long page = sysconf(_SC_PAGESIZE);
    if (page > 0) pageSize_ = static_cast<size_t>(page);

    // Handlers first: libpci's own error handler prints and calls exit().
    pci_ = pci_alloc();
    pci_->error = OnPciError;
    pci_->warning = OnPciWarning;
    pci_->debug = OnPciDebug;
    pci_->method = PCI_ACCESS_SYS_BUS_PCI;
    std::string pathParam = "sysfs.path";
    std::string rootParam = root_.size() <= kMaxRootLength ? root_ : std::string(kDefaultSysfsRoot);
    pci_set_param(pci_, pathParam.data(), rootParam.data());
    pci_init(pci_);
}

SysfsHardware::~SysfsHardware() {
    for (auto& [key, mapping] : mappings_) munmap(mapping.base, pageSize_);
    FreeDevices();
    pci_cleanup(pci_);
}

std::string SysfsHardware::SysfsRootFromEnvironment() {
    const char* root = std::getenv("TARVENTO_SYSFS_ROOT");
    return root != nullptr && *root != '\0' ? std::string(root) : std::string(kDefaultSysfsRoot);
}

void SysfsHardware::FreeDevices() {
    for (auto& [slot, dev] : devices_)
        if (dev != nullptr) pci_free_dev(dev);
    devices_.clear();
}

void SysfsHardware::TakeListing() {
    FreeDevices();
    present_.reset();
    listed_ = true;
    lastBus_ = -1;
    if (root_.size() > kMaxRootLength) {
        ReportOnce(Reason::RootTooLong, "the PCI folder name is too long: " + root_.substr(0, 64) + "...");
        return;
    }
    DIR* dir = opendir((root_ + "/devices").c_str());
    if (dir == nullptr) {
        // No folder at all is a machine without a PCI bus; one that is there but cannot
        // be listed would otherwise look the same.
        if (errno != ENOENT) {
            ReportOnce(Reason::ListingUnreadable,
                       "cannot list " + root_ + "/devices: " + std::strerror(errno));
        }
        return;
    }
    int last = 0;
    while (const dirent* entry = readdir(dir)) {
        SysfsSlot slot;
        if (!ParseSysfsSlotName(entry->d_name, slot) || slot.domain != 0) continue;
        present_.set(SlotIndex(slot.bus, slot.device, slot.function));
        last = std::max(last, int{slot.bus});
    }
    closedir(dir);
    lastBus_ = last;
}

int SysfsHardware::PciBiosPresent() {
    TakeListing();
    return lastBus_;
}

pci_dev* SysfsHardware::Device(size_t slot) {
    auto it = devices_.find(slot);
    if (it != devices_.end()) return it->second;
    // Bus, device and function fill 16 bits; anything larger names no function.
    if (slot > 0xFFFF) return nullptr;
    pci_dev* dev = nullptr;
    char name[16];
    std::snprintf(name, sizeof name, "0000:%02x:%02x.%x", static_cast<unsigned>(slot >> 8),
                  static_cast<unsigned>((slot >> 3) & 31), static_cast<unsigned>(slot & 7));
    // libpci opens config with a blocking open: a FIFO in its place would never answer.
    struct stat st {};
    const std::string config = root_ + "/devices/" + name + "/config";
    if (stat(config.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
        ReportOnce(Reason::ConfigUnreadable, std::string("cannot read the PCI configuration space of ") +
                                                 name + ": its config is not a regular file");
    } else {
        dev = pci_get_dev(pci_, 0, static_cast<int>(slot >> 8), static_cast<int>((slot >> 3) & 31),
                          static_cast<int>(slot & 7));
    }
    devices_.emplace(slot, dev);
    return dev;
}

bool SysfsHardware::ReadHalf(pci_dev* dev, uint16_t offset, uint16_t& out) {
    uint8_t bytes[2];
    if (pci_read_block(dev, offset, bytes, 2) == 0) {
        ReportConfigFailure(dev, offset);
        return false;
    }
    out = static_cast<uint16_t>(bytes[0] | (bytes[1] << 8));
    return true;
}

// A function that is listed but cannot be read is passed over by discovery like an
// absent one; the user learns why here, once. libpci's own warnings say nothing useful
// (they are silenced), so the file is looked at again.
void SysfsHardware::ReportConfigFailure(pci_dev* dev, uint16_t offset) {
    if (reported_.count(Reason::ConfigNeedsPrivilege) != 0 ||
        reported_.count(Reason::ConfigUnreadable) != 0) {
        return;
    }
    char slot[32];
    std::snprintf(slot, sizeof slot, "%04x:%02x:%02x.%x", static_cast<unsigned>(dev->domain),
                  static_cast<unsigned>(dev->bus), static_cast<unsigned>(dev->dev),
                  static_cast<unsigned>(dev->func));
    const std::string what = std::string("cannot read the PCI configuration space of ") + slot;
    const std::string path = root_ + "/devices/" + slot + "/config";
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        ReportOnce(Reason::ConfigUnreadable, what + ": " + std::strerror(errno));
        return;
    }
    struct stat st {};
    const bool sized = fstat(fd, &st) == 0;
    close(fd);
    const bool fileHoldsIt = sized && static_cast<uint64_t>(st.st_size) >= offset + 2u;
    // Without CAP_SYS_ADMIN the kernel answers only the first 64 bytes, short.
    if (fileHoldsIt && offset >= kUnprivilegedConfigBytes && !HasEffectiveCapability(kCapSysAdmin)) {
        ReportOnce(Reason::ConfigNeedsPrivilege,
                   "reading the full PCI configuration space needs root or CAP_SYS_ADMIN");
    } else if (sized && !fileHoldsIt) {
        ReportOnce(Reason::ConfigUnreadable, what + ": its config file ends at byte " +
                                                 std::to_string(st.st_size));
    } else {
        char at[16];
        std::snprintf(at, sizeof at, "0x%02X", static_cast<unsigned>(offset));
        ReportOnce(Reason::ConfigUnreadable, what + " at byte " + at);
    }
}

bool SysfsHardware::ReadConfigDword(uint8_t bus, uint8_t device, uint8_t function,
                                    uint16_t offset, uint16_t& low, uint16_t& high) {
    if (!listed_) TakeListing();
    // A function that is not there answers all ones, as a real bus does, at no cost.
    if (device > 31 || function > 7 || !present_.test(SlotIndex(bus, device, function))) {
        low = 0xFFFF;
        high = 0xFFFF;
        return true;
    }
    if (offset > 4092) return false;
    pci_dev* dev = Device(SlotIndex(bus, device, function));
    if (dev == nullptr) return false;
    if (!ReadHalf(dev, offset, low)) return false;
    return ReadHalf(dev, static_cast<uint16_t>(offset + 2), high);
}

void SysfsHardware::LoadWindows() {
    windowsLoaded_ = true;
    windows_.clear();
    if (root_.size() > kMaxRootLength) return;
    const std::string devicesDir = root_ + "/devices";
    DIR* dir = opendir(devicesDir.c_str());
    if (dir == nullptr) return;
    std::vector<std::string> names;
    while (const dirent* entry = readdir(dir)) {
        SysfsSlot slot;
        if (ParseSysfsSlotName(entry->d_name, slot)) names.emplace_back(entry->d_name);
    }
    closedir(dir);
    std::sort(names.begin(), names.end());
    for (const std::string& name : names) {
        const std::string deviceDir = devicesDir + "/" + name;
        // Only a regular file is read: opening a FIFO would wait for a writer for ever.
        struct stat st {};
        if (stat((deviceDir + "/resource").c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
        std::ifstream resource(deviceDir + "/resource");
        std::string line;
        for (int index = 0; index < kBarCount && std::getline(resource, line); ++index) {
            Window w;
            if (!ParseResourceLine(line, w.start, w.end, w.flags)) break;
            if (w.end <= w.start || (w.flags & kIoResourceMem) == 0) continue;
            w.index = index;
            w.deviceDir = deviceDir;
            windows_.push_back(std::move(w));
        }
    }
}

const SysfsHardware::Window* SysfsHardware::FindWindow(uint64_t address, bool& straddles) const {
    straddles = false;
    for (const Window& w : windows_) {
        if (address < w.start || address > w.end) continue;
        if (address + 3 <= w.end) return &w;
        straddles = true;
    }
    return nullptr;
}

volatile uint32_t* SysfsHardware::MapPhysical(uint32_t address) {
    if ((address & 3) != 0) {
        ReportOnce(Reason::Unaligned, "register address " + Hex32(address) + " is not 32-bit aligned");
        return nullptr;
    }
    bool straddles = false;
    if (!windowsLoaded_) LoadWindows();
    const Window* w = FindWindow(address, straddles);
    if (w == nullptr && !straddles) {
        // A device may have been added since the windows were read.
        LoadWindows();
        w = FindWindow(address, straddles);
    }
    if (w == nullptr) {
        ReportOnce(Reason::NoBar, "no BAR holds address " + Hex32(address));
        return nullptr;
    }

    const uint64_t offset = address - w->start;
    const uint64_t pageOffset = offset & ~uint64_t{pageSize_ - 1};
    const uint64_t inPage = offset - pageOffset;
    const std::string path = w->deviceDir + "/resource" + std::to_string(w->index);
    if ((w->start & (pageSize_ - 1)) != 0) {
        ReportOnce(Reason::MapFailed, "the BAR holding " + Hex32(address) +
                                          " does not start on a page and cannot be mapped");
        return nullptr;
    }

    const auto key = std::make_pair(path, pageOffset);
    auto cached = mappings_.find(key);
    if (cached != mappings_.end()) {
        if (inPage + 4 > cached->second.validBytes) {
            ReportOnce(Reason::FileTooSmall, path + " ends before address " + Hex32(address) +
                                                 "; it was not mapped");
            return nullptr;
        }
        return reinterpret_cast<volatile uint32_t*>(static_cast<char*>(cached->second.base) + inPage);
    }

    const int fd = open(path.c_str(), O_RDWR | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) {
        const int err = errno;
        if (err == EACCES || err == EPERM) {
            ReportOnce(Reason::MapNeedsPrivilege,
                       "reaching the card's registers needs root, or CAP_SYS_ADMIN with CAP_DAC_OVERRIDE");
        } else {
            ReportOnce(Reason::MapFailed, "cannot open " + path + ": " + std::strerror(err));
        }
        return nullptr;
    }
    // Touching a mapped page past the end of its file is SIGBUS: the whole register must
    // lie inside the file.
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        close(fd);
        ReportOnce(Reason::MapFailed, path + " is not a regular file; it was not mapped");
        return nullptr;
    }
    if (static_cast<uint64_t>(st.st_size) < offset + 4) {
        close(fd);
        ReportOnce(Reason::FileTooSmall, path + " ends before address " + Hex32(address) +
                                             "; it was not mapped");
        return nullptr;
    }
    void* base = mmap(nullptr, pageSize_, PROT_READ | PROT_WRITE, MAP_SHARED, fd,
                      static_cast<off_t>(pageOffset));
    const int err = errno;
    close(fd);
    if (base == MAP_FAILED) {
        const std::string lockdown = err == EPERM ? LockdownMode() : std::string();
        if (!lockdown.empty()) {
            ReportOnce(Reason::Lockdown, "the kernel is locked down (" + lockdown +
                                             "), which forbids mapping the card's registers; "
                                             "this usually comes with Secure Boot");
        } else if (err == EPERM || err == EACCES) {
            ReportOnce(Reason::MapNeedsPrivilege,
                       "reaching the card's registers needs root, or CAP_SYS_ADMIN with CAP_DAC_OVERRIDE");
        } else if (err == EINVAL || err == EBUSY) {
            ReportOnce(Reason::HeldByDriver,
                       "the registers at " + Hex32(address) +
                           " are held by a driver (CONFIG_IO_STRICT_DEVMEM); unbind the driver "
                           "or boot with iomem=relaxed");
        } else {
            ReportOnce(Reason::MapFailed, "cannot map " + path + ": " + std::strerror(err));
        }
        return nullptr;
    }
    const uint64_t validBytes = std::min<uint64_t>(pageSize_, static_cast<uint64_t>(st.st_size) - pageOffset);
    mappings_.emplace(key, Mapping{base, validBytes});
    return reinterpret_cast<volatile uint32_t*>(static_cast<char*>(base) + inPage);
}

std::optional<uint32_t> SysfsHardware::ReadRegister(uint32_t address) {
    volatile uint32_t* reg = MapPhysical(address);
    if (reg == nullptr) return std::nullopt;
    return *reg;
}

bool SysfsHardware::WriteRegister(uint32_t address, uint32_t value) {
    volatile uint32_t* reg = MapPhysical(address);
    if (reg == nullptr) return false;
    *reg = value;
    return true;
}

void SysfsHardware::ReportOnce(Reason reason, const std::string& line) {
    if (!reported_.insert(reason).second) return;
    const std::string text = "tarvento: " + line + "\n";
    std::fputs(text.c_str(), stderr);
}

}  // namespace tarvento
