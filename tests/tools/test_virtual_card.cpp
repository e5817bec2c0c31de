// SPDX-License-Identifier: GPL-3.0-or-later
// Virtual cards: what create writes, how unset values are chosen, what is refused, and
// that the program and lspci read the tree as they read the machine's own bus.

#include <sys/stat.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <utility>

#include <gtest/gtest.h>

#include "chip/adapter_discovery.h"
#include "chip/chip_table.h"
#include "chip/clock_formulas.h"
#include "chip/registers.h"
#include "chip/sysfs_hardware.h"
#include "tests/support/unsupported_card.h"
#include "tests/support/virtual_tree.h"
#include "tools/virtual_card.h"

namespace tarvento {
namespace {

namespace fs = std::filesystem;
using namespace virtualcard;
using testing::kUnsupportedChipName;
using testing::VirtualTree;

VirtualCard Resolve(const VirtualTree& tree, const CardRequest& request) {
    VirtualCard card;
    std::string error;
    EXPECT_TRUE(ResolveRequest(tree.Root(), request, card, error)) << error;
    return card;
}

std::string Refusal(const VirtualTree& tree, const CardRequest& request) {
    VirtualCard card;
    std::string error;
    EXPECT_FALSE(ResolveRequest(tree.Root(), request, card, error));
    return error;
}

void Create(const VirtualTree& tree, const CardRequest& request) {
    VirtualCard card = Resolve(tree, request);
    std::string error;
    ASSERT_TRUE(CreateCard(tree.Root(), card, error)) << error;
}

struct Found {
    DiscoveryState state;
    DisplayAdapter adapter;
    bool ok;
    explicit Found(HardwareAccess& hw) { ok = FindDisplayAdapter(hw, state, adapter); }
};

TEST(VirtualCard, StockTntReadsNinetyAndOneHundredTenThroughTheProgramsPath) {
    VirtualTree tree;
    Create(tree, {.chip = "RIVA_TNT"});
    SysfsHardware hw(tree.RootString());
    Found found(hw);
    ASSERT_TRUE(found.ok);
    EXPECT_EQ(found.adapter.vendorId, 0x10DE);
    EXPECT_EQ(found.adapter.deviceId, 0x0020);
    EXPECT_EQ(ReadChipClock(hw, found.adapter.registerBase, kTntChipClock), 90);
    EXPECT_EQ(ReadChipClock(hw, found.adapter.registerBase, kTntMemClock), 110);
}

TEST(VirtualCard, StockRiva128FamilyReadsOneHundred) {
    for (const char* chip : {"RIVA_128", "RIVA_128ZX"}) {
        VirtualTree tree;
        Create(tree, {.chip = chip});
        SysfsHardware hw(tree.RootString());
        Found found(hw);
        ASSERT_TRUE(found.ok) << chip;
        EXPECT_EQ(found.adapter.deviceId, std::string(chip) == "RIVA_128" ? 0x0018 : 0x0019);
        EXPECT_EQ(ReadChipClock(hw, found.adapter.registerBase, kRiva128Clock), 100) << chip;
    }
}

// A stock card of each chip of the TNT2 family: its first id, the select word a driver
// leaves, the 14.318 MHz crystal, and words that read its stock clocks with M in the
// drivers' range and P as a BIOS chooses it for a VCO of 128..256 MHz.
TEST(VirtualCard, StockTnt2FamilyReadsItsStockClocks) {
    struct Stock {
        const char* chip;
        uint16_t device;
        int32_t mem, core;
    };
    for (const Stock& s : {Stock{"RIVA_TNT2", 0x0028, 150, 125}, Stock{"TNT2_ULTRA", 0x0029, 183, 150},
                           Stock{"TNT2_M64", 0x002D, 150, 125}, Stock{"RIVA_VANTA", 0x002C, 125, 100}}) {
        SCOPED_TRACE(s.chip);
        VirtualTree tree;
        Create(tree, {.chip = s.chip});
        SysfsHardware hw(tree.RootString());
        Found found(hw);
        ASSERT_TRUE(found.ok);
        EXPECT_EQ(found.adapter.vendorId, 0x10DE);
        EXPECT_EQ(found.adapter.deviceId, s.device);
        const ChipProfile* chip = FindChipProfileByName(s.chip);
        ASSERT_NE(chip, nullptr);
        const uint32_t base = found.adapter.registerBase;
        EXPECT_EQ(ReadChipClock(hw, base, *chip->memoryClock), s.mem);
        EXPECT_EQ(ReadChipClock(hw, base, *chip->chipClock), s.core);
        EXPECT_EQ(hw.ReadRegister(base + kPllSelectOffset), 0x10000700u);
        EXPECT_EQ(hw.ReadRegister(base + kStrapOffset), 0x00000040u);
        for (const auto& [offset, mhz] : {std::pair{kMemPllOffset, s.mem}, std::pair{kCorePllOffset, s.core}}) {
            const uint32_t word = hw.ReadRegister(base + offset).value_or(0);
            EXPECT_GE(PllM(word), 8u) << std::hex << word;
            EXPECT_LE(PllM(word), 14u) << std::hex << word;
            EXPECT_EQ(PllP(word, kPllThreeBitPMask), mhz >= 128 ? 0u : 1u) << std::hex << word;
            EXPECT_EQ(word & ~(kPllMMask | kPllNMask | kPllThreeBitPMask), 0u) << std::hex << word;
        }
    }
}

TEST(VirtualCard, ASetClockPersistsInTheTreeForTheNextRun) {
    VirtualTree tree;
    Create(tree, {.chip = "RIVA_TNT"});
    {
        SysfsHardware hw(tree.RootString());
        Found found(hw);
        ASSERT_TRUE(found.ok);
        ASSERT_EQ(SetChipClock(hw, found.adapter.registerBase, kTntChipClock, 100), SetResult::Written);
    }
    std::vector<VirtualCard> cards;
    std::vector<std::string> problems;
    std::string error;
    ASSERT_TRUE(ReadCards(tree.Root(), cards, problems, error)) << error;
    ASSERT_EQ(cards.size(), 1u);
    EXPECT_EQ(cards[0].corePll, 0x0001A70Cu);
    EXPECT_EQ(cards[0].memPll, 0x0001B80Cu);
}

TEST(VirtualCard, UnsetSlotsAndBarsTakeTheNextFreeOnes) {
    VirtualTree tree;
    Create(tree, {.chip = "RIVA_TNT"});
    const VirtualCard second = Resolve(tree, {.chip = "RIVA_128"});
    EXPECT_EQ(SysfsSlotName(second.slot), "0000:01:01.0");
    EXPECT_EQ(second.bar0, 0xE1000000u);
    EXPECT_EQ(second.classCode, 0x030000u);
}

TEST(VirtualCard, GivenValuesWin) {
    VirtualTree tree;
    const VirtualCard card = Resolve(tree, {.chip = "RIVA_TNT",
                                            .slot = SysfsSlot{0, 0x2a, 0x1f, 7},
                                            .classCode = 0x038000,
                                            .bar0 = 0xF8000008,
                                            .strap = 0,
                                            .corePll = 0x000100FF,
                                            .memPll = 0x12345678,
                                            .pllSelect = 0});
    EXPECT_EQ(SysfsSlotName(card.slot), "0000:2a:1f.7");
    EXPECT_EQ(card.classCode, 0x038000u);
    EXPECT_EQ(card.bar0, 0xF8000008u);
    EXPECT_EQ(card.strap, 0u);
    EXPECT_EQ(card.corePll, 0x000100FFu);
    EXPECT_EQ(card.memPll, 0x12345678u);
    EXPECT_EQ(card.pllSelect, 0u);
}

TEST(VirtualCard, IdsOfAKnownChipGetItsStockRegistersOthersGetZeros) {
    VirtualTree tree;
    const VirtualCard tnt = Resolve(tree, {.chip = "10de:0020"});
    EXPECT_EQ(tnt.corePll, 0x0001960Cu);
    EXPECT_EQ(tnt.pllSelect, 0x10000700u) << "as a TNT's driver leaves it";
    EXPECT_TRUE(tnt.hasRegisters);
    EXPECT_EQ(Resolve(tree, {.chip = "12d2:0018"}).pllSelect, 0x10010100u) << "as a RIVA 128's driver leaves it";
    const VirtualCard other = Resolve(tree, {.chip = "1002:5046"});
    EXPECT_EQ(other.vendorId, 0x1002);
    EXPECT_EQ(other.deviceId, 0x5046);
    EXPECT_EQ(other.corePll, 0u);
    EXPECT_EQ(other.strap, 0u);
    EXPECT_EQ(other.pllSelect, 0u);
    const VirtualCard none = Resolve(tree, {.chip = "8086:1237", .classCode = 0x060000, .bar0 = 0});
    EXPECT_FALSE(none.hasRegisters);
}

TEST(VirtualCard, BadRequestsAreRefusedWithAReason) {
    VirtualTree tree;
    Create(tree, {.chip = "RIVA_TNT"});
    EXPECT_NE(Refusal(tree, {.chip = kUnsupportedChipName}).find("unknown chip"), std::string::npos);
    EXPECT_NE(Refusal(tree, {.chip = "10de:20"}).find("unknown chip"), std::string::npos);
    EXPECT_NE(Refusal(tree, {.chip = "10de:0020x"}).find("unknown chip"), std::string::npos);
    EXPECT_NE(Refusal(tree, {.chip = "RIVA_TNT", .slot = SysfsSlot{0, 1, 0, 0}}).find("already exists"),
              std::string::npos);
    EXPECT_NE(Refusal(tree, {.chip = "RIVA_TNT", .bar0 = 0xE0800000}).find("multiple of its size"),
              std::string::npos);
    EXPECT_NE(Refusal(tree, {.chip = "RIVA_TNT", .bar0 = 0xE0000000}).find("overlaps"), std::string::npos);
    EXPECT_NE(Refusal(tree, {.chip = "RIVA_TNT", .bar0 = 0xF0000004}).find("32-bit memory BAR"),
              std::string::npos);
    EXPECT_NE(Refusal(tree, {.chip = "RIVA_TNT", .classCode = 0x1000000}).find("24 bits"), std::string::npos);
    EXPECT_NE(Refusal(tree, {.chip = "RIVA_TNT", .bar0 = 0, .strap = 0x40}).find("memory BAR0"),
              std::string::npos);
    EXPECT_NE(Refusal(tree, {.chip = "RIVA_TNT", .bar0 = 0, .pllSelect = 0}).find("memory BAR0"),
              std::string::npos);
}

TEST(VirtualCard, AnExistingSlotIsNeverOverwritten) {
    VirtualTree tree;
    Create(tree, {.chip = "RIVA_TNT"});
    const fs::path config = tree.SlotDir(1, 0, 0) / "config";
    const auto before = tree.FileBytes(config);
    VirtualCard card = *StockCard("RIVA_128");
    card.slot = SysfsSlot{0, 1, 0, 0};
    card.bar0 = 0xE1000000;
    std::string error;
    EXPECT_FALSE(CreateCard(tree.Root(), card, error));
    EXPECT_NE(error.find("already exists"), std::string::npos) << error;
    EXPECT_EQ(tree.FileBytes(config), before);
    size_t entries = 0;
    for ([[maybe_unused]] const auto& e : fs::directory_iterator(tree.Root() / "devices")) ++entries;
    EXPECT_EQ(entries, 1u) << "no staging folder is left behind";
}

TEST(VirtualCard, TheLayoutIsTheKernels) {
    VirtualTree tree;
    Create(tree, {.chip = "RIVA_TNT", .slot = SysfsSlot{0, 1, 0, 0}, .bar0 = 0xE0000008});
    const fs::path dir = tree.SlotDir(1, 0, 0);
    EXPECT_EQ(fs::file_size(dir / "config"), 256u);
    EXPECT_EQ(fs::file_size(dir / "resource0"), 0x01000000u);
    struct stat st {};
    ASSERT_EQ(stat((dir / "resource0").c_str(), &st), 0);
    EXPECT_LT(st.st_blocks * 512, 1 << 20) << "resource0 is sparse";

    std::ifstream resource(dir / "resource");
    std::string line;
    std::vector<std::string> lines;
    while (std::getline(resource, line)) lines.push_back(line);
    ASSERT_EQ(lines.size(), 7u);
    EXPECT_EQ(lines[0], "0x00000000e0000000 0x00000000e0ffffff 0x0000000000042208");
    EXPECT_EQ(lines[6], "0x0000000000000000 0x0000000000000000 0x0000000000000000");

    auto text = [&](const char* name) {
        std::ifstream in(dir / name);
        std::string s;
        std::getline(in, s);
        return s;
    };
    EXPECT_EQ(text("vendor"), "0x10de");
    EXPECT_EQ(text("device"), "0x0020");
    EXPECT_EQ(text("class"), "0x030000");
    EXPECT_EQ(tree.FileWord(dir / "config", 0x10), 0xE0000008u);
    EXPECT_EQ(tree.FileWord(dir / "resource0", 0x680500), 0x0001960Cu);
    EXPECT_EQ(tree.FileWord(dir / "resource0", 0x680504), 0x0001B80Cu);
    EXPECT_EQ(tree.FileWord(dir / "resource0", 0x101000), 0x00000040u);
    EXPECT_EQ(tree.FileWord(dir / "resource0", 0x68050C), 0x10000700u);
}

TEST(VirtualCard, CreateMakesTheFolderAndShowReadsEveryFunctionBack) {
    VirtualTree tree;
    const fs::path root = tree.Root() / "new" / "card";
    VirtualCard bridge;
    bridge.slot = SysfsSlot{0, 0, 0, 0};
    bridge.vendorId = 0x8086;
    bridge.deviceId = 0x7190;
    bridge.classCode = 0x060000;
    VirtualCard tnt = *StockCard("RIVA_TNT");
    tnt.bar0 = 0xE0000000;
    tnt.corePll = 0x0002C707;
    VirtualCard unprogrammed = *StockCard("RIVA_128");
    unprogrammed.slot = SysfsSlot{0, 1, 1, 0};
    unprogrammed.bar0 = 0xE1000000;
    unprogrammed.pllSelect = 0x00000400;
    std::string error;
    ASSERT_TRUE(CreateCard(root, unprogrammed, error)) << error;
    ASSERT_TRUE(CreateCard(root, tnt, error)) << error;
    ASSERT_TRUE(CreateCard(root, bridge, error)) << error;

    std::vector<VirtualCard> cards;
    std::vector<std::string> problems;
    ASSERT_TRUE(ReadCards(root, cards, problems, error)) << error;
    EXPECT_TRUE(problems.empty());
    ASSERT_EQ(cards.size(), 3u);
    EXPECT_EQ(SysfsSlotName(cards[0].slot), "0000:00:00.0");
    EXPECT_FALSE(cards[0].hasRegisters);
    EXPECT_EQ(cards[0].classCode, 0x060000u);
    EXPECT_EQ(cards[1].vendorId, 0x10DE);
    EXPECT_EQ(cards[1].bar0, 0xE0000000u);
    EXPECT_EQ(cards[1].corePll, 0x0002C707u);
    EXPECT_EQ(cards[1].strap, 0x40u);
    EXPECT_EQ(cards[1].pllSelect, 0x10000700u);
    EXPECT_EQ(cards[2].pllSelect, 0x00000400u);

    const std::string shown = DescribeCard(cards[1]);
    EXPECT_NE(shown.find("0000:01:00.0  10de:0020  class 030000  BAR0 0xE0000000  RIVA_TNT"), std::string::npos)
        << shown;
    EXPECT_NE(shown.find("M   7  N 199  P  2  reads"), std::string::npos) << shown;
    EXPECT_NE(shown.find("0x0001B80C  M  12  N 184  P  1  reads 110 MHz"), std::string::npos) << shown;
    EXPECT_NE(shown.find("bit 6 set"), std::string::npos) << shown;
    EXPECT_NE(shown.find("select    0x10000700  mem PLL from its word, core PLL from its word\n"),
              std::string::npos)
        << shown;
    // A RIVA 128 sets its memory PLL alone.
    const std::string unset = DescribeCard(cards[2]);
    EXPECT_NE(unset.find("select    0x00000400  mem PLL from the built-in clock\n"), std::string::npos) << unset;
    EXPECT_EQ(DescribeCard(cards[0]), "0000:00:00.0  8086:7190  class 060000  BAR0 none\n");
}

TEST(VirtualCard, ShowReportsAnUnreadableFunctionAndGoesOn) {
    VirtualTree tree;
    Create(tree, {.chip = "RIVA_TNT"});
    Create(tree, {.chip = "RIVA_128"});
    fs::resize_file(tree.SlotDir(1, 0, 0) / "config", 8);
    std::vector<VirtualCard> cards;
    std::vector<std::string> problems;
    std::string error;
    ASSERT_TRUE(ReadCards(tree.Root(), cards, problems, error));
    ASSERT_EQ(cards.size(), 1u);
    EXPECT_EQ(cards[0].deviceId, 0x0018);
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_NE(problems[0].find("0000:01:00.0"), std::string::npos);
    EXPECT_FALSE(ReadCards(tree.Root() / "nothing", cards, problems, error));
}

TEST(VirtualCard, SlotsParseStrictly) {
    EXPECT_TRUE(ParseSlot("0000:01:00.0"));
    EXPECT_TRUE(ParseSlot("0000:ff:1f.7"));
    EXPECT_FALSE(ParseSlot("0000:01:20.0")) << "device 32";
    EXPECT_FALSE(ParseSlot("0000:01:00.8")) << "function 8";
    EXPECT_FALSE(ParseSlot("01:00.0"));
    EXPECT_FALSE(ParseSlot("0000:01:00.0 "));
    EXPECT_FALSE(ParseSlot("0000:1:00.0"));
    EXPECT_FALSE(ParseSlot(""));
}

// lspci reads the tree through the same libpci method and must list the same functions.
TEST(VirtualCard, LspciListsTheSameFunctions) {
    if (system("command -v lspci >/dev/null 2>&1") != 0) GTEST_SKIP() << "no lspci";
    VirtualTree tree;
    Create(tree, {.chip = "RIVA_TNT"});
    Create(tree, {.chip = "RIVA_128ZX", .slot = SysfsSlot{0, 2, 3, 1}});
    Create(tree, {.chip = "8086:1237", .slot = SysfsSlot{0, 0, 0, 0}, .classCode = 0x060000, .bar0 = 0});

    const std::string command = "lspci -n -A linux-sysfs -O sysfs.path=" + tree.RootString() + " 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::string out;
    char buffer[256];
    while (fgets(buffer, sizeof buffer, pipe) != nullptr) out += buffer;
    ASSERT_EQ(pclose(pipe), 0) << out;
    EXPECT_EQ(out,
              "00:00.0 0600: 8086:1237\n"
              "01:00.0 0300: 10de:0020\n"
              "02:03.1 0300: 12d2:0019\n");
}

}  // namespace
}  // namespace tarvento
