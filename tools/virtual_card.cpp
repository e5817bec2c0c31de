// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/virtual_card.h"


#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <system_error>
#include <tuple>

#include "chip/chip_table.h"
#include "chip/clock_formulas.h"
#include "chip/hex_text.h"
#include "chip/registers.h"

namespace tarvento::virtualcard {

namespace fs = std::filesystem;

namespace {

// Flags of a resource-file line, as the kernel writes them.
constexpr uint64_t kResourceIo = 0x00000100;
constexpr uint64_t kResourceMem = 0x00000200;
constexpr uint64_t kResourcePrefetch = 0x00002000;
constexpr uint64_t kResourceSizeAlign = 0x00040000;
constexpr int kResourceLines = 7;  // six BARs and the expansion ROM
constexpr uint32_t kIoBarSize = 0x100;

// A stock card's strap: bit 6 set (14.318 MHz crystal). Its PLL words and ids come from
// the chip table.
constexpr uint32_t kStockStrap = 0x00000040;

struct Range {
    uint64_t start;
    uint64_t end;  // inclusive
    std::string owner;
};


bool SlotLess(const SysfsSlot& a, const SysfsSlot& b) {
    return std::tie(a.domain, a.bus, a.device, a.function) <
           std::tie(b.domain, b.bus, b.device, b.function);
}

// Every function folder of the tree, sorted; empty when there is no devices/ folder.
std::vector<SysfsSlot> ListSlots(const fs::path& root) {
    std::vector<SysfsSlot> slots;
    DIR* dir = opendir((root / "devices").c_str());
    if (dir == nullptr) return slots;
    while (const dirent* entry = readdir(dir)) {
        SysfsSlot slot;
        if (ParseSysfsSlotName(entry->d_name, slot)) slots.push_back(slot);
    }
    closedir(dir);
    std::sort(slots.begin(), slots.end(), SlotLess);
    return slots;
}

fs::path SlotDir(const fs::path& root, const SysfsSlot& slot) {
    return root / "devices" / SysfsSlotName(slot);
}

bool PathExists(const fs::path& path) {
    struct stat st {};
    return lstat(path.c_str(), &st) == 0;
}

// Address windows already taken in the tree, from every function's resource file.
std::vector<Range> TakenRanges(const fs::path& root) {
    std::vector<Range> taken;
    for (const SysfsSlot& slot : ListSlots(root)) {
        // A FIFO in a tree would make the read wait for ever; only files are read.
        const fs::path file = SlotDir(root, slot) / "resource";
        struct stat st {};
        if (stat(file.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
        std::ifstream resource(file);
        std::string line;
        while (std::getline(resource, line)) {
            uint64_t start = 0, end = 0, flags = 0;
            if (!ParseSysfsResourceLine(line, start, end, flags)) break;
            if (end > start) taken.push_back({start, end, SysfsSlotName(slot)});
        }
    }
    return taken;
}

const Range* Overlap(const std::vector<Range>& taken, uint64_t start, uint64_t end) {
    for (const Range& r : taken) {
        if (start <= r.end && r.start <= end) return &r;
    }
    return nullptr;
}

bool IsMemoryBar(uint32_t bar) { return bar != 0 && (bar & 1) == 0; }

uint64_t BarStart(uint32_t bar) { return (bar & 1) != 0 ? (bar & ~uint32_t{3}) : (bar & ~kBarFlagBits); }

uint64_t BarSize(uint32_t bar) { return (bar & 1) != 0 ? kIoBarSize : kRegisterBarSize; }

bool CheckBar0(uint32_t bar, std::string& error) {
    if (bar == 0) return true;
    if ((bar & 1) != 0) {
        const uint32_t port = bar & ~uint32_t{3};
        if (port > 0xFFFF || port % kIoBarSize != 0) {
            error = "an I/O BAR0 must be a multiple of 0x100 below 0x10000, not " + HexNumber(bar, 8);
            return false;
        }
        return true;
    }
    if ((bar & 0x6) != 0) {
        error = "BAR0 " + HexNumber(bar, 8) + " is not a 32-bit memory BAR (bits 1..2 must be 0)";
        return false;
    }
    if (BarStart(bar) % kRegisterBarSize != 0) {
        error = "BAR0 " + HexNumber(bar, 8) + " is not a multiple of its size, 16 MiB (0x01000000)";
        return false;
    }
    return true;
}

void Put16(std::array<uint8_t, kConfigSize>& c, size_t at, uint16_t v) {
    c[at] = static_cast<uint8_t>(v);
    c[at + 1] = static_cast<uint8_t>(v >> 8);
}

void Put32(std::array<uint8_t, kConfigSize>& c, size_t at, uint32_t v) {
    Put16(c, at, static_cast<uint16_t>(v));
    Put16(c, at + 2, static_cast<uint16_t>(v >> 16));
}

bool WriteWhole(int fd, const void* data, size_t size, off_t at) {
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t n = pwrite(fd, p, size, at);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        p += n;
        size -= static_cast<size_t>(n);
        at += n;
    }
    return true;
}

bool WriteFile(const fs::path& path, std::string_view text, std::string& error) {
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) {
        error = "cannot create " + path.string() + ": " + std::strerror(errno);
        return false;
    }
    const bool ok = WriteWhole(fd, text.data(), text.size(), 0);
    const int err = errno;
    if (close(fd) != 0 || !ok) {
        error = "cannot write " + path.string() + ": " + std::strerror(ok ? errno : err);
        return false;
    }
    return true;
}

std::array<uint8_t, 4> Le32(uint32_t v) {
    return {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v >> 16),
            static_cast<uint8_t>(v >> 24)};
}

// A sparse file as large as the BAR, so that a mapping never reaches past its end,
// with the four words the clock routines read.
bool WriteRegisterFile(const fs::path& path, const VirtualCard& card, std::string& error) {
    const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) {
        error = "cannot create " + path.string() + ": " + std::strerror(errno);
        return false;
    }
    bool ok = ftruncate(fd, kRegisterBarSize) == 0;
    const std::array<std::pair<uint32_t, uint32_t>, 4> words{{{kCorePllOffset, card.corePll},
                                                              {kMemPllOffset, card.memPll},
                                                              {kStrapOffset, card.strap},
                                                              {kPllSelectOffset, card.pllSelect}}};
    for (const auto& [offset, value] : words) {
        const auto bytes = Le32(value);
        ok = ok && WriteWhole(fd, bytes.data(), bytes.size(), offset);
    }
    const int err = errno;
    if (close(fd) != 0 || !ok) {
        error = "cannot write " + path.string() + ": " + std::strerror(ok ? errno : err);
        return false;
    }
    return true;
}

std::string ResourceText(const VirtualCard& card) {
    std::string text;
    char line[80];
    for (int i = 0; i < kResourceLines; ++i) {
        uint64_t start = 0, end = 0, flags = 0;
        if (i == 0 && card.bar0 != 0) {
            start = BarStart(card.bar0);
            end = start + BarSize(card.bar0) - 1;
            if ((card.bar0 & 1) != 0) {
                flags = kResourceIo | kResourceSizeAlign | 0x1;
            } else {
                flags = kResourceMem | kResourceSizeAlign | (card.bar0 & kBarFlagBits);
                if ((card.bar0 & 0x8) != 0) flags |= kResourcePrefetch;
            }
        }
        std::snprintf(line, sizeof line, "0x%016" PRIx64 " 0x%016" PRIx64 " 0x%016" PRIx64 "\n",
                      start, end, flags);
        text += line;
    }
    return text;
}

std::array<uint8_t, kConfigSize> ConfigBytes(const VirtualCard& card) {
    std::array<uint8_t, kConfigSize> c{};
    Put16(c, kConfigVendorId, card.vendorId);
    Put16(c, kConfigDeviceId, card.deviceId);
    // Command: memory or I/O decoding on for the BAR the card has.
    Put16(c, 0x04, card.bar0 == 0 ? 0 : ((card.bar0 & 1) != 0 ? 0x0001 : 0x0002));
    c[0x09] = static_cast<uint8_t>(card.classCode);        // programming interface
    c[0x0A] = static_cast<uint8_t>(card.classCode >> 8);   // subclass
    c[0x0B] = static_cast<uint8_t>(card.classCode >> 16);  // base class
    Put32(c, kConfigBar0, card.bar0);
    c[0x3C] = card.irq;
    c[0x3D] = 1;  // INTA#
    return c;
}

std::optional<uint32_t> ReadWordAt(int fd, off_t at) {
    std::array<uint8_t, 4> b{};
    if (pread(fd, b.data(), b.size(), at) != static_cast<ssize_t>(b.size())) return std::nullopt;
    return uint32_t{b[0]} | (uint32_t{b[1]} << 8) | (uint32_t{b[2]} << 16) | (uint32_t{b[3]} << 24);
}

// P as the chip decodes it (`pMask`); an unknown card's as the fitted formulas do.
std::string PllLine(const char* label, uint32_t word, uint32_t pMask) {
    char text[96];
    std::snprintf(text, sizeof text, "    %-9s %s  M %3u  N %3u  P %2u", label, HexNumber(word, 8).c_str(),
                  static_cast<unsigned>(PllM(word)), static_cast<unsigned>(PllN(word)),
                  static_cast<unsigned>(PllP(word, pMask)));
    return text;
}

}  // namespace

std::optional<VirtualCard> StockCard(std::string_view chipName) {
    VirtualCard card;
    card.hasRegisters = true;
    card.strap = kStockStrap;
    const ChipProfile* profile = FindChipProfileByName(std::string(chipName).c_str());
    if (profile == nullptr) return std::nullopt;
    card.vendorId = profile->vendorIds[0];
    card.deviceId = profile->deviceIds[0];
    card.memPll = profile->memoryClock->stockPll;
    // A chip with one clock leaves its core PLL as its memory PLL.
    card.corePll = (profile->chipClock != nullptr ? profile->chipClock : profile->memoryClock)->stockPll;
    // A chip with a core clock of its own is a TNT to its drivers; one whose memory clock
    // drives the chip too is a RIVA 128.
    card.pllSelect = profile->chipClock != nullptr ? kPllSelectTntDriver : kPllSelectRiva128Driver;
    return card;
}

std::optional<SysfsSlot> ParseSlot(std::string_view text) {
    SysfsSlot slot;
    if (!ParseSysfsSlotName(std::string(text).c_str(), slot)) return std::nullopt;
    return slot;
}


bool ResolveRequest(const fs::path& root, const CardRequest& request, VirtualCard& out,
                    std::string& error) {
    VirtualCard card;
    if (auto stock = StockCard(request.chip)) {
        card = *stock;
    } else {
        const std::string& chip = request.chip;
        const size_t colon = chip.find(':');
        const auto vendor =
            colon == std::string::npos ? std::nullopt : ParseHexDigits(std::string_view(chip).substr(0, colon), 4, 4);
        const auto device =
            colon == std::string::npos ? std::nullopt : ParseHexDigits(std::string_view(chip).substr(colon + 1), 4, 4);
        if (!vendor || !device) {
            error = "unknown chip '" + chip + "': give ";
            for (const ChipProfile* p : DistinctChips()) error += std::string(p->name) + ", ";
            error.resize(error.size() - 2);
            error += " or VVVV:DDDD";
            return false;
        }
        // Known ids get the stock registers of their chip.
        if (const ChipProfile* profile = FindChipProfile(static_cast<uint16_t>(*vendor),
                                                         static_cast<uint16_t>(*device))) {
            card = *StockCard(profile->name);
        }
        card.vendorId = static_cast<uint16_t>(*vendor);
        card.deviceId = static_cast<uint16_t>(*device);
    }

    if (request.classCode) {
        if (*request.classCode > 0xFFFFFF) {
            error = "class " + HexNumber(*request.classCode, 6) + " is wider than 24 bits";
            return false;
        }
        card.classCode = *request.classCode;
    }

    if (request.slot) {
        card.slot = *request.slot;
        if (PathExists(SlotDir(root, card.slot))) {
            error = "slot " + SysfsSlotName(card.slot) + " already exists in " + root.string();
            return false;
        }
    } else {
        bool found = false;
        for (uint8_t device = 0; device < 32 && !found; ++device) {
            card.slot = SysfsSlot{0, 1, device, 0};
            found = !PathExists(SlotDir(root, card.slot));
        }
        if (!found) {
            error = "every slot 0000:01:DD.0 is taken; give one with --slot";
            return false;
        }
    }

    const std::vector<Range> taken = TakenRanges(root);
    if (request.bar0) {
        if (!CheckBar0(*request.bar0, error)) return false;
        card.bar0 = *request.bar0;
        if (card.bar0 != 0) {
            const uint64_t start = BarStart(card.bar0);
            if (const Range* r = Overlap(taken, start, start + BarSize(card.bar0) - 1)) {
                error = "BAR0 " + HexNumber(card.bar0, 8) + " overlaps a window of " + r->owner;
                return false;
            }
        }
    } else {
        bool found = false;
        for (uint64_t start = kFirstDefaultBar0; start + kRegisterBarSize <= 0x100000000ULL && !found;
             start += kRegisterBarSize) {
            if (Overlap(taken, start, start + kRegisterBarSize - 1) == nullptr) {
                card.bar0 = static_cast<uint32_t>(start);
                found = true;
            }
        }
        if (!found) {
            error = "no free 16 MiB window from 0xE0000000 up; give one with --bar0";
            return false;
        }
    }

    const bool registers = IsMemoryBar(card.bar0);
    if (!registers && (request.strap || request.corePll || request.memPll || request.pllSelect)) {
        error = "--strap, --core-pll, --mem-pll and --pll-select need a memory BAR0";
        return false;
    }
    card.hasRegisters = registers;
    if (!registers) card.corePll = card.memPll = card.strap = card.pllSelect = 0;
    if (request.strap) card.strap = *request.strap;
    if (request.corePll) card.corePll = *request.corePll;
    if (request.memPll) card.memPll = *request.memPll;
    if (request.pllSelect) card.pllSelect = *request.pllSelect;
    out = card;
    return true;
}

bool CreateCard(const fs::path& root, const VirtualCard& card, std::string& error) {
    if (card.slot.device > 31 || card.slot.function > 7) {
        error = "no such slot: device 0..31, function 0..7";
        return false;
    }
    if (card.hasRegisters && !IsMemoryBar(card.bar0)) {
        error = "registers need a memory BAR0";
        return false;
    }
    const fs::path devices = root / "devices";
    const fs::path target = SlotDir(root, card.slot);
    std::error_code ec;
    fs::create_directories(devices, ec);
    if (ec) {
        error = "cannot create " + devices.string() + ": " + ec.message();
        return false;
    }
    if (PathExists(target)) {
        error = "slot " + SysfsSlotName(card.slot) + " already exists in " + root.string();
        return false;
    }

    // Built under a dot name, which no reader takes for a function, then renamed whole.
    const fs::path staging = devices / (".new-" + SysfsSlotName(card.slot) + "-" + std::to_string(getpid()));
    fs::remove_all(staging, ec);
    if (mkdir(staging.c_str(), 0755) != 0) {
        error = "cannot create " + staging.string() + ": " + std::strerror(errno);
        return false;
    }
    const auto config = ConfigBytes(card);
    char text[32];
    bool ok = WriteFile(staging / "config",
                        std::string_view(reinterpret_cast<const char*>(config.data()), config.size()), error);
    std::snprintf(text, sizeof text, "0x%04x\n", card.vendorId);
    ok = ok && WriteFile(staging / "vendor", text, error);
    std::snprintf(text, sizeof text, "0x%04x\n", card.deviceId);
    ok = ok && WriteFile(staging / "device", text, error);
    std::snprintf(text, sizeof text, "0x%06x\n", card.classCode);
    ok = ok && WriteFile(staging / "class", text, error);
    std::snprintf(text, sizeof text, "%u\n", static_cast<unsigned>(card.irq));
    ok = ok && WriteFile(staging / "irq", text, error);
    ok = ok && WriteFile(staging / "resource", ResourceText(card), error);
    if (ok && card.hasRegisters) ok = WriteRegisterFile(staging / "resource0", card, error);
    // rename() refuses a target that appeared meanwhile and is not empty.
    if (ok && rename(staging.c_str(), target.c_str()) != 0) {
        error = "cannot create " + target.string() + ": " + std::strerror(errno);
        ok = false;
    }
    if (!ok) fs::remove_all(staging, ec);
    return ok;
}

bool ReadCards(const fs::path& root, std::vector<VirtualCard>& cards,
               std::vector<std::string>& problems, std::string& error) {
    const fs::path devices = root / "devices";
    DIR* dir = opendir(devices.c_str());
    if (dir == nullptr) {
        error = "cannot read " + devices.string() + ": " + std::strerror(errno);
        return false;
    }
    closedir(dir);
    cards.clear();
    for (const SysfsSlot& slot : ListSlots(root)) {
        const fs::path where = SlotDir(root, slot);
        VirtualCard card;
        card.slot = slot;
        // Without blocking: a FIFO opens at once and then fails the read.
        const int fd = open((where / "config").c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
        std::array<uint8_t, 0x40> c{};
        const ssize_t n = fd < 0 ? -1 : pread(fd, c.data(), c.size(), 0);
        if (fd >= 0) close(fd);
        if (n < static_cast<ssize_t>(c.size())) {
            problems.push_back(SysfsSlotName(slot) + ": its config cannot be read whole");
            continue;
        }
        auto get16 = [&](size_t at) { return static_cast<uint16_t>(c[at] | (c[at + 1] << 8)); };
        card.vendorId = get16(kConfigVendorId);
        card.deviceId = get16(kConfigDeviceId);
        card.classCode = (uint32_t{c[0x0B]} << 16) | (uint32_t{c[0x0A]} << 8) | c[0x09];
        card.bar0 = get16(kConfigBar0) | (uint32_t{get16(kConfigBar0 + 2)} << 16);
        card.irq = c[0x3C];

        const int rfd = open((where / "resource0").c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
        if (rfd >= 0) {
            const auto core = ReadWordAt(rfd, kCorePllOffset);
            const auto mem = ReadWordAt(rfd, kMemPllOffset);
            const auto strap = ReadWordAt(rfd, kStrapOffset);
            const auto select = ReadWordAt(rfd, kPllSelectOffset);
            close(rfd);
            if (core && mem && strap && select) {
                card.hasRegisters = true;
                card.corePll = *core;
                card.memPll = *mem;
                card.strap = *strap;
                card.pllSelect = *select;
            } else {
                problems.push_back(SysfsSlotName(slot) + ": resource0 is too short to hold the clock registers");
            }
        }
        cards.push_back(card);
    }
    return true;
}

std::string DescribeCard(const VirtualCard& card) {
    const ChipProfile* profile = FindChipProfile(card.vendorId, card.deviceId);
    char head[160];
    std::snprintf(head, sizeof head, "%s  %04x:%04x  class %06x  BAR0 %s", SysfsSlotName(card.slot).c_str(),
                  card.vendorId, card.deviceId, card.classCode,
                  card.bar0 == 0 ? "none" : HexNumber(card.bar0, 8).c_str());
    std::string text = head;
    if (profile != nullptr) text += std::string("  ") + profile->name;
    text += "\n";
    if (!card.hasRegisters) return text;

    const std::string mhz = " MHz";
    auto pMask = [&](uint32_t offset) {
        const ChipClock* clock = profile != nullptr ? ClockAt(*profile, offset) : nullptr;
        return clock != nullptr ? clock->pMask : kPllPMask;
    };
    std::string core = PllLine("core PLL", card.corePll, pMask(kCorePllOffset));
    std::string mem = PllLine("mem PLL", card.memPll, pMask(kMemPllOffset));
    if (profile != nullptr) {
        auto reads = [&](const ChipClock& clock) {
            const uint32_t word = clock.pllOffset == kCorePllOffset ? card.corePll : card.memPll;
            return "  reads " + std::to_string(clock.clockOf(word, card.strap)) + mhz;
        };
        // A chip with one clock reads it from the memory PLL and never reads the core PLL.
        const ChipClock* chip = profile->chipClock;
        mem += reads(*profile->memoryClock) + (chip != nullptr ? "" : " (memory and chip)");
        core += chip != nullptr ? reads(*chip) : "  (not read for this chip)";
    }
    text += core + "\n" + mem + "\n";
    char strap[96];
    std::snprintf(strap, sizeof strap, "    %-9s %s  bit 6 %s\n", "strap", HexNumber(card.strap, 8).c_str(),
                  StrapCrystalBitSet(card.strap) ? "set" : "clear");
    text += strap;
    text += "    select    " + HexNumber(card.pllSelect, 8);
    // For a supported chip, how each PLL it sets runs.
    const char* separator = "  ";
    for (const ChipClock* clock : {profile ? profile->memoryClock : nullptr, profile ? profile->chipClock : nullptr}) {
        if (clock == nullptr) continue;
        text += separator + std::string(clock->pllOffset == kCorePllOffset ? "core PLL" : "mem PLL") +
                (PllSelectMissing(card.pllSelect, PllSelectBit(clock->pllOffset)) == 0 ? " from its word"
                                                                                       : " from the built-in clock");
        separator = ", ";
    }
    return text + "\n";
}

}  // namespace tarvento::virtualcard
