// SPDX-License-Identifier: GPL-3.0-or-later
#include "chip/sysfs_hardware.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string_view>

#include "chip/hex_text.h"
#include "chip/register_access_facts.h"
#include "chip/running_program.h"
#include "platform/small_file.h"

// pci.h declares plain C functions but carries no extern "C" of its own.
extern "C" {
#include <pci/pci.h>
}

namespace tarvento {

namespace {

constexpr const char* kDefaultSysfsRoot = "/sys/bus/pci";
constexpr uint64_t kIoResourceMem = 0x200;  // IORESOURCE_MEM in a resource file's flags
constexpr int kBarCount = 6;                // resource0..5; line 6 is the ROM
// The standard header: what Linux answers every reader of config, with or without
// CAP_SYS_ADMIN.
constexpr uint16_t kStandardHeaderBytes = 64;
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
    std::fputs(kFixedDiagnosticPrefix, stderr);
    std::fputs("libpci: ", stderr);
    std::vfprintf(stderr, msg, args);
    std::fputc('\n', stderr);
    va_end(args);
    std::abort();
}

// libpci's warnings ("Cannot open ...") describe failures we report ourselves, in the
// program's own words, through the result of the read.
void OnPciWarning(char*, ...) {}
void OnPciDebug(char*, ...) {}

}  // namespace

bool ParseSysfsSlotName(const char* name, SysfsSlot& out) {
    // "dddd:bb:dd.f": four to eight digits of domain, then fields of fixed width.
    const std::string_view text(name);
    const size_t colon = text.find(':');
    if (colon == std::string_view::npos) return false;
    const std::string_view rest = text.substr(colon + 1);
    if (rest.size() != 7 || rest[2] != ':' || rest[5] != '.') return false;
    const auto domain = ParseHexDigits(text.substr(0, colon), 4, 8);
    const auto bus = ParseHexDigits(rest.substr(0, 2), 2, 2);
    const auto device = ParseHexDigits(rest.substr(3, 2), 2, 2);
    const auto function = ParseHexDigits(rest.substr(6, 1), 1, 1);
    if (!domain || !bus || !device || !function || *device > 31 || *function > 7) return false;
    out = {static_cast<uint32_t>(*domain), static_cast<uint8_t>(*bus), static_cast<uint8_t>(*device),
           static_cast<uint8_t>(*function)};
    return true;
}

bool ParseSysfsResourceLine(const std::string& line, uint64_t& start, uint64_t& end, uint64_t& flags) {
    std::istringstream in(line);
    std::string a, b, c;
    if (!(in >> a >> b >> c)) return false;
    const auto first = ParseHexNumber(a), second = ParseHexNumber(b), third = ParseHexNumber(c);
    if (!first || !second || !third) return false;
    start = *first;
    end = *second;
    flags = *third;
    return true;
}

std::string SysfsSlotName(const SysfsSlot& slot) {
    char name[32];
    std::snprintf(name, sizeof name, "%04x:%02x:%02x.%x", static_cast<unsigned>(slot.domain),
                  static_cast<unsigned>(slot.bus), static_cast<unsigned>(slot.device & 31),
                  static_cast<unsigned>(slot.function & 7));
    return name;
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
    const char* root = secure_getenv("TARVENTO_SYSFS_ROOT");
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
    failure_ = {};
    if (root_.size() > kMaxRootLength) {
        Fail(AccessFailure::Kind::PciFolderTooLong, root_);
        return;
    }
    DIR* dir = opendir((root_ + "/devices").c_str());
    if (dir == nullptr) {
        // No folder at all is a machine without a PCI bus; one that is there but cannot
        // be listed would otherwise look the same.
        if (errno != ENOENT) {
            Fail(AccessFailure::Kind::PciFolderUnlisted, root_ + "/devices", 0, errno);
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

int SysfsHardware::LastBusNumber() {
    TakeListing();
    return lastBus_;
}

std::string SysfsHardware::ConfigPath(size_t slot) const {
    const SysfsSlot name{0, static_cast<uint8_t>(slot >> 8), static_cast<uint8_t>((slot >> 3) & 31),
                         static_cast<uint8_t>(slot & 7)};
    return root_ + "/devices/" + SysfsSlotName(name) + "/config";
}

pci_dev* SysfsHardware::Device(size_t slot) {
    auto it = devices_.find(slot);
    if (it != devices_.end()) return it->second;
    // Bus, device and function fill 16 bits; anything larger names no function.
    if (slot > 0xFFFF) return nullptr;
    pci_dev* dev = nullptr;
    const std::string config = ConfigPath(slot);
    // libpci opens config itself, following links and waiting on a FIFO: what it would
    // open is looked at first. A real sysfs attribute is a regular file.
    struct stat st {};
    const bool seen = lstat(config.c_str(), &st) == 0;
    if (seen && S_ISLNK(st.st_mode)) {
        FailConfig(AccessFailure::Kind::ConfigIsLink, slot);
    } else if (seen && !S_ISREG(st.st_mode)) {
        FailConfig(AccessFailure::Kind::ConfigNotRegular, slot);
    } else {
        dev = pci_get_dev(pci_, 0, static_cast<int>(slot >> 8), static_cast<int>((slot >> 3) & 31),
                          static_cast<int>(slot & 7));
    }
    devices_.emplace(slot, dev);
    return dev;
}

// libpci says only that a read failed (its own warnings are silenced): a short read and
// an error look the same to it. The file is read again here, without following a link,
// to tell the end of what the kernel answers this reader from an error.
SysfsHardware::ConfigRead SysfsHardware::ReadHalf(pci_dev* dev, size_t slot, uint16_t offset,
                                                  uint16_t& out) {
    uint8_t bytes[2];
    if (pci_read_block(dev, offset, bytes, 2) != 0) {
        out = static_cast<uint16_t>(bytes[0] | (bytes[1] << 8));
        return ConfigRead::Read;
    }
    const std::string path = ConfigPath(slot);
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) {
        FailConfig(AccessFailure::Kind::ConfigUnreadable, slot, 0, errno);
        return ConfigRead::Failed;
    }
    ssize_t n;
    do {
        n = pread(fd, bytes, 2, offset);
    } while (n < 0 && errno == EINTR);
    const int err = errno;
    close(fd);
    if (n < 0) {
        FailConfig(AccessFailure::Kind::ConfigUnreadable, slot, 0, err);
        return ConfigRead::Failed;
    }
    if (n < 2) {
        // Past the standard header this is the kernel's whole answer to a reader without
        // CAP_SYS_ADMIN, and nothing the program needs lies there.
        if (offset >= kStandardHeaderBytes) return ConfigRead::Ended;
        FailConfig(AccessFailure::Kind::ConfigEndsEarly, slot, static_cast<uint64_t>(offset + n));
        return ConfigRead::Failed;
    }
    FailConfig(AccessFailure::Kind::ConfigReadFailed, slot, offset);
    return ConfigRead::Failed;
}

bool SysfsHardware::ReadConfigDword(uint8_t bus, uint8_t device, uint8_t function,
                                    uint16_t offset, uint16_t& low, uint16_t& high) {
    return ReadConfigDwordOrEnd(bus, device, function, offset, low, high) == ConfigRead::Read;
}

SysfsHardware::ConfigRead SysfsHardware::ReadConfigDwordOrEnd(uint8_t bus, uint8_t device,
                                                              uint8_t function, uint16_t offset,
                                                              uint16_t& low, uint16_t& high) {
    if (!listed_) TakeListing();
    // A function that is not there answers all ones, as a real bus does, at no cost.
    if (device > 31 || function > 7 || !present_.test(SlotIndex(bus, device, function))) {
        low = 0xFFFF;
        high = 0xFFFF;
        return ConfigRead::Read;
    }
    if (offset > 4092) return ConfigRead::Failed;
    const size_t slot = SlotIndex(bus, device, function);
    pci_dev* dev = Device(slot);
    if (dev == nullptr) return ConfigRead::Failed;
    const ConfigRead first = ReadHalf(dev, slot, offset, low);
    if (first != ConfigRead::Read) return first;
    return ReadHalf(dev, slot, static_cast<uint16_t>(offset + 2), high);
}

void SysfsHardware::BindRegisters(uint8_t bus, uint8_t device, uint8_t function) {
    boundDevice_ = SysfsSlotName({0, bus, device, function});
    windowsLoaded_ = false;  // only the bound function's BAR0 counts from now on
}

void SysfsHardware::LoadWindows() {
    windowsLoaded_ = true;
    windows_.clear();
    if (root_.size() > kMaxRootLength) return;
    const std::string devicesDir = root_ + "/devices";
    std::vector<std::string> names;
    if (boundDevice_) {
        names.push_back(*boundDevice_);
    } else {
        DIR* dir = opendir(devicesDir.c_str());
        if (dir == nullptr) return;
        while (const dirent* entry = readdir(dir)) {
            SysfsSlot slot;
            if (ParseSysfsSlotName(entry->d_name, slot)) names.emplace_back(entry->d_name);
        }
        closedir(dir);
        std::sort(names.begin(), names.end());
    }
    for (const std::string& name : names) {
        const std::string deviceDir = devicesDir + "/" + name;
        // A resource file is a few hundred bytes.
        const std::optional<std::string> text = ReadSmallFile(deviceDir + "/resource", 1 << 16);
        if (!text) continue;
        std::istringstream resource(*text);
        std::string line;
        // A bound function's registers are its BAR0 and nothing else.
        const int bars = boundDevice_ ? 1 : kBarCount;
        for (int index = 0; index < bars && std::getline(resource, line); ++index) {
            Window w;
            if (!ParseSysfsResourceLine(line, w.start, w.end, w.flags)) break;
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
        Fail(AccessFailure::Kind::Unaligned, {}, address);
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
        if (boundDevice_) {
            Fail(AccessFailure::Kind::OutsideBar0, {}, address);
            failure_.slot = *boundDevice_;
        } else {
            Fail(AccessFailure::Kind::NoBar, {}, address);
        }
        return nullptr;
    }

    const uint64_t offset = address - w->start;
    const uint64_t pageOffset = offset & ~uint64_t{pageSize_ - 1};
    const uint64_t inPage = offset - pageOffset;
    const std::string path = w->deviceDir + "/resource" + std::to_string(w->index);
    if ((w->start & (pageSize_ - 1)) != 0) {
        Fail(AccessFailure::Kind::BarNotPageAligned, {}, address);
        return nullptr;
    }

    const auto key = std::make_pair(path, pageOffset);
    auto cached = mappings_.find(key);
    if (cached != mappings_.end()) {
        if (inPage + 4 > cached->second.validBytes) {
            Fail(AccessFailure::Kind::FileEndsBefore, path, address);
            return nullptr;
        }
        return reinterpret_cast<volatile uint32_t*>(static_cast<char*>(cached->second.base) + inPage);
    }

    // Never through a link: the file mapped for writing must be the card's own.
    const int fd = open(path.c_str(), O_RDWR | O_CLOEXEC | O_NONBLOCK | O_NOCTTY | O_NOFOLLOW);
    if (fd < 0) {
        const int err = errno;
        Fail(AccessFailure::Kind::RegisterFile);
        failure_.access = GatherRegisterAccessFacts(path, RegisterAccessFacts::Step::Open, err);
        return nullptr;
    }
    // Touching a mapped page past the end of its file is SIGBUS: the whole register must
    // lie inside the file.
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        close(fd);
        Fail(AccessFailure::Kind::NotRegularFile, path);
        return nullptr;
    }
    if (static_cast<uint64_t>(st.st_size) < offset + 4) {
        close(fd);
        Fail(AccessFailure::Kind::FileEndsBefore, path, address);
        return nullptr;
    }
    void* base = mmap(nullptr, pageSize_, PROT_READ | PROT_WRITE, MAP_SHARED, fd,
                      static_cast<off_t>(pageOffset));
    const int err = errno;
    close(fd);
    if (base == MAP_FAILED) {
        Fail(AccessFailure::Kind::RegisterFile);
        failure_.access = GatherRegisterAccessFacts(path, RegisterAccessFacts::Step::Map, err);
        return nullptr;
    }
    const uint64_t validBytes = std::min<uint64_t>(pageSize_, static_cast<uint64_t>(st.st_size) - pageOffset);
    mappings_.emplace(key, Mapping{base, validBytes});
    return reinterpret_cast<volatile uint32_t*>(static_cast<char*>(base) + inPage);
}

void SysfsHardware::Fail(AccessFailure::Kind kind, std::string path, uint64_t value, int error) {
    failure_ = {};
    failure_.kind = kind;
    failure_.path = std::move(path);
    failure_.value = value;
    failure_.error = error;
}

void SysfsHardware::FailConfig(AccessFailure::Kind kind, size_t slot, uint64_t value, int error) {
    Fail(kind, {}, value, error);
    failure_.slot = SysfsSlotName({0, static_cast<uint8_t>(slot >> 8), static_cast<uint8_t>((slot >> 3) & 31),
                                   static_cast<uint8_t>(slot & 7)});
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

}  // namespace tarvento
