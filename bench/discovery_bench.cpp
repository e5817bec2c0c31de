// SPDX-License-Identifier: GPL-3.0-or-later
// FindDisplayAdapter beside lspci -n on one virtual tree whose last bus is 255, with 64
// functions spread over it and the only VGA card on bus 255, so both read everything.
//
//   tarvento_discovery_bench                 the Google Benchmark runs
//   tarvento_discovery_bench --tree DIR [COUNT LASTBUS]
//                                            builds the tree at DIR (64 functions, last
//                                            bus 255 unless told) and exits
//   tarvento_discovery_bench --find DIR      one discovery, as a program start makes it

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include <benchmark/benchmark.h>

extern "C" {
#include <pci/pci.h>
}

#include "chip/adapter_discovery.h"
#include "chip/config_read_cache.h"
#include "chip/running_program.h"
#include "chip/sysfs_hardware.h"
#include "tools/virtual_card.h"

extern char** environ;

namespace {

using namespace tarvento;
namespace fs = std::filesystem;

std::string g_tree;
std::string g_self;

// `count` functions, the last of them the only VGA card: a RIVA TNT after every other
// function of the last bus, so a discovery reads the whole tree before it finds it. The
// others go round the buses 0..lastBus, each bus filled device by device with functions
// 0, 1, 2, ... in turn (a scan stops at the first missing function of a device).
bool BuildTree(const fs::path& root, int count, int lastBus) {
    const int buses = lastBus + 1;
    if (count < 1 || lastBus < 0 || lastBus > 255 || count > buses * 256) {
        std::fprintf(stderr, "bench: %d functions do not fit on buses 0..%d\n", count, lastBus);
        return false;
    }
    std::string error;
    static const uint32_t kClasses[] = {0x060400, 0x020000, 0x010601, 0x0c0330, 0x040300, 0x088000};
    std::vector<int> used(static_cast<size_t>(buses), 0);  // functions placed per bus
    auto place = [&](virtualcard::VirtualCard& card, int bus) {
        const int k = used[static_cast<size_t>(bus)]++;
        card.slot = SysfsSlot{0, static_cast<uint8_t>(bus), static_cast<uint8_t>(k / 8), static_cast<uint8_t>(k % 8)};
    };
    for (int i = 0; i < count - 1; ++i) {
        virtualcard::VirtualCard card;
        place(card, i % buses);
        card.vendorId = 0x8086;
        card.deviceId = static_cast<uint16_t>(0x1000 + i);
        card.classCode = kClasses[i % 6];
        card.bar0 = 0xC0000000u + static_cast<uint32_t>(i) * 0x10000u;  // clear of the TNT at F0000000h
        card.hasRegisters = false;
        if (!virtualcard::CreateCard(root, card, error)) {
            std::fprintf(stderr, "bench: %s\n", error.c_str());
            return false;
        }
    }
    virtualcard::VirtualCard tnt = *virtualcard::StockCard("RIVA_TNT");
    place(tnt, lastBus);
    tnt.bar0 = 0xF0000000;
    if (!virtualcard::CreateCard(root, tnt, error)) {
        std::fprintf(stderr, "bench: %s\n", error.c_str());
        return false;
    }
    return true;
}

int FindOnce(const std::string& root) {
    SysfsHardware hw(root);
    DiscoveryState state;
    DisplayAdapter adapter;
    if (!FindDisplayAdapter(hw, state, adapter)) return 1;
    std::printf("%02x:%02x.%u %04x:%04x base %08x\n", adapter.bus, adapter.device,
                static_cast<unsigned>(adapter.function), adapter.vendorId, adapter.deviceId,
                adapter.registerBase);
    return 0;
}

void Spawn(benchmark::State& state, const std::vector<std::string>& args) {
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    for (auto _ : state) {
        pid_t pid;
        if (posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) {
            state.SkipWithError("cannot start the program");
            break;
        }
        int status = 0;
        waitpid(pid, &status, 0);
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            state.SkipWithError("the program failed");
            break;
        }
    }
    posix_spawn_file_actions_destroy(&actions);
}

// In-process: what a program start does, the access object included.
void BM_FindDisplayAdapter(benchmark::State& state) {
    for (auto _ : state) {
        SysfsHardware hw(g_tree);
        DiscoveryState discovery;
        DisplayAdapter adapter;
        bool found = FindDisplayAdapter(hw, discovery, adapter);
        benchmark::DoNotOptimize(found);
        if (!found) state.SkipWithError("no adapter found");
    }
}

// In-process: discovery and the list of every display function on the bus, as --info
// does them (so that a user with two cards sees which one is taken): through one
// ConfigReadCache, so that the list asks the machine only for what discovery did not read.
void BM_FindAndListDisplayFunctions(benchmark::State& state) {
    for (auto _ : state) {
        SysfsHardware hw(g_tree);
        ConfigReadCache bus(hw);
        DiscoveryState discovery;
        DisplayAdapter adapter;
        const bool found = FindDisplayAdapter(bus, discovery, adapter);
        const std::vector<DisplayFunction> listed = ListDisplayFunctions(bus);
        benchmark::DoNotOptimize(listed.data());
        if (!found || listed.empty()) state.SkipWithError("no adapter found");
    }
}

// In-process: the libpci work lspci -n does (scan with ids, class, BARs, then 64 bytes
// of configuration space per function).
void BM_LibpciScanLikeLspci(benchmark::State& state) {
    for (auto _ : state) {
        pci_access* pacc = pci_alloc();
        pacc->method = PCI_ACCESS_SYS_BUS_PCI;
        std::string param = "sysfs.path";
        pci_set_param(pacc, param.data(), g_tree.data());
        pci_init(pacc);
        pci_scan_bus(pacc);
        int n = 0;
        for (pci_dev* d = pacc->devices; d != nullptr; d = d->next) {
            uint8_t config[64];
            pci_fill_info(d, PCI_FILL_IDENT | PCI_FILL_CLASS);
            n += pci_read_block(d, 0, config, sizeof config);
        }
        benchmark::DoNotOptimize(n);
        pci_cleanup(pacc);
    }
}

// Whole programs, as a user starts them.
void BM_ProcessFindDisplayAdapter(benchmark::State& state) { Spawn(state, {g_self, "--find", g_tree}); }
void BM_ProcessLspci(benchmark::State& state) {
    Spawn(state, {"lspci", "-n", "-A", "linux-sysfs", "-O", "sysfs.path=" + g_tree});
}

BENCHMARK(BM_FindDisplayAdapter)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FindAndListDisplayFunctions)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_LibpciScanLikeLspci)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ProcessFindDisplayAdapter)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ProcessLspci)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "--find") == 0) return FindOnce(argv[2]);
    if ((argc == 3 || argc == 5) && std::strcmp(argv[1], "--tree") == 0) {
        const int count = argc == 5 ? std::atoi(argv[3]) : 64;
        const int lastBus = argc == 5 ? std::atoi(argv[4]) : 255;
        return BuildTree(argv[2], count, lastBus) ? 0 : 1;
    }

    g_self = tarvento::ProgramPath();
    if (g_self.empty()) return 1;

    std::string pattern = (fs::temp_directory_path() / "tarvento-bench-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) return 1;
    g_tree = pattern;
    int rc = 1;
    if (BuildTree(g_tree, 64, 255)) {
        benchmark::Initialize(&argc, argv);
        benchmark::RunSpecifiedBenchmarks();
        benchmark::Shutdown();
        rc = 0;
    }
    std::error_code ec;
    fs::remove_all(g_tree, ec);
    return rc;
}
