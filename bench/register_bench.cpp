// SPDX-License-Identifier: GPL-3.0-or-later
// One ApplyClocks on a RIVA TNT, through the real sysfs access on a virtual card, beside
// the same register work done two other ways:
//   - a mapping made and dropped for every access (open, mmap, access, munmap, close),
//     the simplest way to reach a register by physical address;
//   - bare volatile loads and stores on a page mapped once, the floor for any access layer.
// Register accesses are counted by a wrapper around the access object, mappings by an
// mmap of our own that the program's libraries call instead of the C library's.
//
//   tarvento_register_bench [Google Benchmark options]

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <system_error>

#include <benchmark/benchmark.h>

#include "chip/adapter_discovery.h"
#include "chip/clock_pair.h"
#include "chip/chip_state.h"
#include "chip/chip_table.h"
#include "chip/chip_recognition.h"
#include "chip/apply_clocks.h"
#include "chip/registers.h"
#include "chip/sysfs_hardware.h"
#include "tools/virtual_card.h"

namespace {

std::atomic<long> g_mmaps{0};

}  // namespace

// Every mmap the program's own code makes (libtarvento_core calls it through the PLT, so
// this definition in the executable wins); the C library's internal mappings (malloc) do
// not come here and are not counted.
extern "C" void* mmap(void* addr, size_t length, int prot, int flags, int fd, off_t offset) {
    using MmapFn = void* (*)(void*, size_t, int, int, int, off_t);
    static const MmapFn real = reinterpret_cast<MmapFn>(dlsym(RTLD_NEXT, "mmap"));
    if (fd >= 0) g_mmaps.fetch_add(1, std::memory_order_relaxed);
    return real(addr, length, prot, flags, fd, offset);
}

namespace {

using namespace tarvento;
namespace fs = std::filesystem;

constexpr uint32_t kBase = 0xE0000000;
std::string g_tree;

// Counts what reaches the machine through the access seam.
class CountingAccess final : public HardwareAccess {
public:
    explicit CountingAccess(HardwareAccess& inner) : inner_(inner) {}
    long reads = 0;
    long writes = 0;

    int LastBusNumber() override { return inner_.LastBusNumber(); }
    bool ReadConfigDword(uint8_t bus, uint8_t device, uint8_t function, uint16_t offset,
                         uint16_t& low, uint16_t& high) override {
        return inner_.ReadConfigDword(bus, device, function, offset, low, high);
    }
    ConfigRead ReadConfigDwordOrEnd(uint8_t bus, uint8_t device, uint8_t function, uint16_t offset,
                                    uint16_t& low, uint16_t& high) override {
        return inner_.ReadConfigDwordOrEnd(bus, device, function, offset, low, high);
    }
    void BindRegisters(uint8_t bus, uint8_t device, uint8_t function) override {
        inner_.BindRegisters(bus, device, function);
    }
    AccessFailure FailureReason() const override { return inner_.FailureReason(); }
    std::optional<uint32_t> ReadRegister(uint32_t address) override {
        ++reads;
        return inner_.ReadRegister(address);
    }
    bool WriteRegister(uint32_t address, uint32_t value) override {
        ++writes;
        return inner_.WriteRegister(address, value);
    }

private:
    HardwareAccess& inner_;
};

// A fresh mapping of the register's page for every access.
class MapPerAccess final : public HardwareAccess {
public:
    explicit MapPerAccess(std::string resource0) : path_(std::move(resource0)) {}
    int LastBusNumber() override { return -1; }
    bool ReadConfigDword(uint8_t, uint8_t, uint8_t, uint16_t, uint16_t&, uint16_t&) override { return false; }
    std::optional<uint32_t> ReadRegister(uint32_t address) override {
        uint32_t value = 0;
        if (!Access(address, [&](volatile uint32_t* r) { value = *r; })) return std::nullopt;
        return value;
    }
    bool WriteRegister(uint32_t address, uint32_t value) override {
        return Access(address, [&](volatile uint32_t* r) { *r = value; });
    }

private:
    template <typename F>
    bool Access(uint32_t address, F&& f) {
        const uint64_t offset = address - kBase;
        const uint64_t page = offset & ~uint64_t{4095};
        const int fd = open(path_.c_str(), O_RDWR | O_CLOEXEC);
        if (fd < 0) return false;
        void* p = mmap(nullptr, 4096, PROT_READ | PROT_WRITE, MAP_SHARED, fd, static_cast<off_t>(page));
        close(fd);
        if (p == MAP_FAILED) return false;
        f(reinterpret_cast<volatile uint32_t*>(static_cast<char*>(p) + (offset - page)));
        munmap(p, 4096);
        return true;
    }
    std::string path_;
};

// Counts the calls whose pair was not applied in full.
struct FailureCount {
    int count = 0;
    void Note(const ApplyOutcome& outcome) {
        if (!outcome.Applied()) ++count;
    }
};

// The state a program start leaves: discovery done, the TNT recognised.
bool Recognise(ChipState& chip) {
    DisplayAdapter adapter;
    if (!FindDisplayAdapter(chip.hardware, chip.discovery, adapter)) return false;
    RecognizedChip recognized;
    return RecognizeChip(chip, adapter.vendorId, adapter.deviceId, recognized) == Recognition::Recognized;
}

// Alternates between two clock pairs so that every call really changes both words.
constexpr ClockPair kPairs[2] = {{120, 100}, {110, 90}};

void Report(benchmark::State& state, long reads, long writes, long mmaps) {
    const double n = static_cast<double>(state.iterations());
    state.counters["reads"] = static_cast<double>(reads) / n;
    state.counters["writes"] = static_cast<double>(writes) / n;
    state.counters["mmaps"] = static_cast<double>(mmaps) / n;
}

// The program's way: one access object for the whole run, mappings kept.
void BM_ApplyClocks_KeptMapping(benchmark::State& state) {
    SysfsHardware sysfs(g_tree);
    CountingAccess counting(sysfs);
    ChipState chip(counting);
    if (!Recognise(chip)) {
        state.SkipWithError("no TNT in the tree");
        return;
    }
    FailureCount failures;
    int i = 0;
    counting.reads = counting.writes = 0;
    const long mmapsBefore = g_mmaps.load();
    for (auto _ : state) {
        failures.Note(ApplyClocks(chip, kPairs[i++ & 1]));
    }
    Report(state, counting.reads, counting.writes, g_mmaps.load() - mmapsBefore);
    if (failures.count != 0) state.SkipWithError("ApplyClocks reported a failure");
}

// The first ApplyClocks of a fresh access object: the BAR windows read and the two
// register pages (strap, PLLs) mapped on the way.
void BM_ApplyClocks_FirstCall(benchmark::State& state) {
    long reads = 0, writes = 0, mmaps = 0;
    FailureCount failures;
    int i = 0;
    for (auto _ : state) {
        state.PauseTiming();
        auto sysfs = std::make_unique<SysfsHardware>(g_tree);
        CountingAccess counting(*sysfs);
        ChipState chip(counting);
        // Discovery reads configuration space only: no register is mapped before ApplyClocks.
        DisplayAdapter adapter;
        FindDisplayAdapter(chip.hardware, chip.discovery, adapter);
        chip.recognizedAdapter = adapter;
        chip.currentChipName = kRivaTntName;
        const long before = g_mmaps.load();
        state.ResumeTiming();
        failures.Note(ApplyClocks(chip, kPairs[i++ & 1]));
        state.PauseTiming();
        mmaps += g_mmaps.load() - before;
        reads += counting.reads;
        writes += counting.writes;
        sysfs.reset();
        state.ResumeTiming();
    }
    Report(state, reads, writes, mmaps);
    if (failures.count != 0) state.SkipWithError("ApplyClocks reported a failure");
}

void BM_ApplyClocks_MapPerAccess(benchmark::State& state) {
    MapPerAccess perAccess(g_tree + "/devices/0000:01:00.0/resource0");
    CountingAccess counting(perAccess);
    ChipState chip(counting);
    chip.discovery.registerBase = kBase;
    chip.recognizedAdapter = DisplayAdapter{0x10DE, 0x0020, kBase, 1, 0, 0};
    chip.currentChipName = kRivaTntName;
    FailureCount failures;
    int i = 0;
    const long mmapsBefore = g_mmaps.load();
    for (auto _ : state) {
        failures.Note(ApplyClocks(chip, kPairs[i++ & 1]));
    }
    Report(state, counting.reads, counting.writes, g_mmaps.load() - mmapsBefore);
    if (failures.count != 0) state.SkipWithError("ApplyClocks reported a failure");
}

// The floor: the 9 reads and 2 writes ApplyClocks makes on a TNT (one read of the PLL
// select word; then three reads of each PLL word, one of the strap, one write), as bare
// volatile accesses on pages mapped once, the words computed beforehand.
void BM_RawAccesses_Floor(benchmark::State& state) {
    const std::string path = g_tree + "/devices/0000:01:00.0/resource0";
    const int fd = open(path.c_str(), O_RDWR | O_CLOEXEC);
    void* strapPage = mmap(nullptr, 4096, PROT_READ | PROT_WRITE, MAP_SHARED, fd, kStrapOffset & ~0xFFFu);
    void* pllPage = mmap(nullptr, 4096, PROT_READ | PROT_WRITE, MAP_SHARED, fd, kCorePllOffset & ~0xFFFu);
    close(fd);
    if (strapPage == MAP_FAILED || pllPage == MAP_FAILED) {
        state.SkipWithError("cannot map the registers");
        return;
    }
    auto* strap = reinterpret_cast<volatile uint32_t*>(static_cast<char*>(strapPage) + (kStrapOffset & 0xFFF));
    auto* core = reinterpret_cast<volatile uint32_t*>(static_cast<char*>(pllPage) + (kCorePllOffset & 0xFFF));
    auto* mem = reinterpret_cast<volatile uint32_t*>(static_cast<char*>(pllPage) + (kMemPllOffset & 0xFFF));
    auto* select = reinterpret_cast<volatile uint32_t*>(static_cast<char*>(pllPage) + (kPllSelectOffset & 0xFFF));
    uint32_t flip = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(*select);
        for (volatile uint32_t* pll : {mem, core}) {
            uint32_t v = *pll;
            v = *pll;
            benchmark::DoNotOptimize(*strap);
            v = *pll;
            *pll = PllWithN(v, PllN(v) ^ (flip & 1));
        }
        ++flip;
    }
    munmap(strapPage, 4096);
    munmap(pllPage, 4096);
}

BENCHMARK(BM_ApplyClocks_KeptMapping)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ApplyClocks_FirstCall)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ApplyClocks_MapPerAccess)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RawAccesses_Floor)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
    std::string pattern = (fs::temp_directory_path() / "tarvento-bench-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) return 1;
    g_tree = pattern;
    virtualcard::VirtualCard tnt = *virtualcard::StockCard("RIVA_TNT");
    tnt.slot = SysfsSlot{0, 1, 0, 0};
    tnt.bar0 = kBase;
    std::string error;
    int rc = 1;
    if (virtualcard::CreateCard(g_tree, tnt, error)) {
        benchmark::Initialize(&argc, argv);
        benchmark::RunSpecifiedBenchmarks();
        benchmark::Shutdown();
        rc = 0;
    } else {
        std::fprintf(stderr, "bench: %s\n", error.c_str());
    }
    std::error_code ec;
    fs::remove_all(g_tree, ec);
    return rc;
}
