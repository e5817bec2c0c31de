// SPDX-License-Identifier: GPL-3.0-or-later
// Every path of the built program that writes clocks, against every reason an apply is
// refused before it writes: a value outside the chip's limits, a PLL that runs from the
// chip's built-in clock, and a pair no set routine takes. Each path says why, fails, and
// leaves the card, the guard's records and the boot clocks as they were. Only the select
// word does not stop --boot-clocks, which stores clocks for a later boot.
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "chip/registers.h"
#include "tests/robust/robust_support.h"

namespace tarvento::testing {
namespace {

namespace fs = std::filesystem;

struct Refusal {
    const char* name;
    const char* memory;  // the clocks asked for
    const char* chip;
    uint32_t select;     // the PLL select word
    uint32_t pll;        // both PLL words
    const char* says;
};

// M = 48, P = 0: no N reaches a clock within the TNT's limits.
constexpr uint32_t kBeyondReach = 0x00009630;

const Refusal kRefusals[] = {
    {"Limits", "200", "100", kPllSelectTntDriver, 0x0001960C,
     "tarvento: Mem Clock 200 MHz is outside RIVA_TNT's 80..145 MHz; nothing was written\n"},
    {"Select", "120", "100", 0x00000000, 0x0001960C, "tarvento: PCI/AGP access failed !\n"},
    {"SetRoutines", "100", "100", kPllSelectTntDriver, kBeyondReach, "tarvento: Frequency out of range !\n"},
};

struct Path {
    const char* name;
    std::vector<std::string> args;  // the clocks follow
    bool asksSelect;  // --boot-clocks checks the clocks, not how the chip runs now
};

const Path kPaths[] = {
    {"Start", {}, true},
    {"BootService", {"--apply-boot-clocks"}, true},
    {"BootClocks", {"--boot-clocks", "RIVA_TNT"}, false},
    {"Trial", {"--try", "RIVA_TNT"}, true},
    {"DryRun", {"--dry-run", "RIVA_TNT"}, true},
};

void PrintTo(const Refusal& r, std::ostream* os) { *os << r.name; }
void PrintTo(const Path& p, std::ostream* os) { *os << p.name; }

class RefusedApply : public TreeTest, public ::testing::WithParamInterface<std::tuple<Path, Refusal>> {};

TEST_P(RefusedApply, WritesNothingAndRecordsNothing) {
    const auto& [path, refusal] = GetParam();
    // Boot clocks are checked against what the chip can take, not against how it runs now:
    // a driver sets the select word at a mode set, before the boot service applies them.
    const bool refused = path.asksSelect || std::string(refusal.name) != "Select";
    tree.AddTnt(1, 0, 0, 0xE0000000);
    const fs::path registers = Dir(1) / "resource0";
    tree.SetFileWord(registers, kPllSelectOffset, refusal.select);
    tree.SetFileWord(registers, kMemPllOffset, refusal.pll);
    tree.SetFileWord(registers, kCorePllOffset, refusal.pll);
    const fs::path machine = tree.Root() / "machine";
    const fs::path state = tree.Root() / "state";
    fs::create_directories(machine / "proc/sys/kernel/random");
    fs::create_directories(machine / "etc/tarvento");
    std::ofstream(machine / "proc/sys/kernel/random/boot_id") << "b1\n";
    std::ofstream(machine / "proc/cmdline") << "quiet\n";

    std::vector<std::string> args = path.args;
    if (path.args.empty()) args.push_back("RIVA_TNT");
    if (path.name == std::string("BootService")) {
        // Written by hand, since --boot-clocks would refuse to store these.
        std::ofstream(machine / "etc/tarvento/boot-clocks")
            << "RIVA_TNT " << refusal.memory << " " << refusal.chip << "\n";
    } else {
        args.push_back(refusal.memory);
        args.push_back(refusal.chip);
    }
    if (path.name == std::string("Trial")) args.push_back("5");

    const std::vector<char> before = tree.FileBytes(registers);
    std::map<std::string, std::string> set = Environment();
    set["TARVENTO_MACHINE_ROOT"] = machine.string();
    set["XDG_STATE_HOME"] = state.string();
    const ProgramResult r = RunProgram(TARVENTO_PROGRAM, args, set, kDisplayVariables);

    EXPECT_EQ(r.status, refused ? 1 : 0) << r.out << r.err;
    if (refused) {
        EXPECT_NE(r.err.find(refusal.says), std::string::npos) << r.err;
    }
    EXPECT_EQ(tree.FileBytes(registers), before) << "not one register written";
    EXPECT_FALSE(fs::exists(state / "tarvento/last-apply")) << "no pending apply at login";
    EXPECT_FALSE(fs::exists(machine / "var/lib/tarvento/last-apply")) << "no pending apply at boot";
    if (path.name == std::string("BootClocks")) {
        EXPECT_EQ(fs::exists(machine / "etc/tarvento/boot-clocks"), !refused);
    }
}

INSTANTIATE_TEST_SUITE_P(
    EveryPath, RefusedApply, ::testing::Combine(::testing::ValuesIn(kPaths), ::testing::ValuesIn(kRefusals)),
    [](const ::testing::TestParamInfo<std::tuple<Path, Refusal>>& info) {
        return std::string(std::get<0>(info.param).name) + "_" + std::get<1>(info.param).name;
    });

}  // namespace
}  // namespace tarvento::testing
