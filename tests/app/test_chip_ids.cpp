// SPDX-License-Identifier: GPL-3.0-or-later
// Every id of the TNT2 family, and the ids of the family the program leaves out on purpose,
// through the built program on a virtual card: --info and the unattended start.

#include <gtest/gtest.h>

#include <cstdio>
#include <optional>
#include <string>

#include "chip/registers.h"
#include "tests/support/program_runner.h"
#include "tests/support/virtual_tree.h"

namespace tarvento::testing {
namespace {

struct CardId {
    uint16_t vendor, device;
    const char* chip;    // the name it is taken for; nullptr: not taken
    int32_t mem, core;   // the stock clocks its card reads
    const char* says;    // --info's slider limits; for a card not taken, why it is not
};

void PrintTo(const CardId& id, std::ostream* os) {
    char text[16];
    std::snprintf(text, sizeof text, "%04X:%04X", id.vendor, id.device);
    *os << text;
}

const CardId kIds[] = {
    {0x10DE, 0x0028, "RIVA_TNT2", 150, 125, "Mem Clock 110..200 MHz, Chip Clock 100..175 MHz"},
    {0x10DE, 0x002A, "RIVA_TNT2", 150, 125, "Mem Clock 110..200 MHz, Chip Clock 100..175 MHz"},
    {0x10DE, 0x002B, "RIVA_TNT2", 150, 125, "Mem Clock 110..200 MHz, Chip Clock 100..175 MHz"},
    {0x10DE, 0x0029, "TNT2_ULTRA", 183, 150, "Mem Clock 140..230 MHz, Chip Clock 120..200 MHz"},
    {0x10DE, 0x002C, "RIVA_VANTA", 125, 100, "Mem Clock 80..160 MHz, Chip Clock 70..140 MHz"},
    {0x10DE, 0x002D, "TNT2_M64", 150, 125, "Mem Clock 110..185 MHz, Chip Clock 100..165 MHz"},
    {0x10DE, 0x00A0, nullptr, 0, 0, "the Aladdin TNT2, built into a chipset and sharing the system's memory, "
                                    "whose memory PLL is not present"},
    {0x10DE, 0x002E, nullptr, 0, 0, "no driver lists this id"},
    {0x10DE, 0x002F, nullptr, 0, 0, "no driver lists this id"},
    {0x12D2, 0x0028, nullptr, 0, 0, "no driver matches its ids under 12D2h"},
    {0x12D2, 0x0029, nullptr, 0, 0, "no driver matches its ids under 12D2h"},
    {0x12D2, 0x002A, nullptr, 0, 0, "no driver matches its ids under 12D2h"},
    {0x12D2, 0x002B, nullptr, 0, 0, "no driver matches its ids under 12D2h"},
    {0x12D2, 0x002C, nullptr, 0, 0, "no driver matches its ids under 12D2h"},
    {0x12D2, 0x002D, nullptr, 0, 0, "no driver matches its ids under 12D2h"},
};

class ChipIds : public ::testing::TestWithParam<CardId> {
protected:
    VirtualTree tree;

    void SetUp() override {
        // The chip's stock registers under the id; a TNT2's for an id not taken, so that
        // whether it is taken is the id's alone.
        virtualcard::VirtualCard card = *virtualcard::StockCard(GetParam().chip ? GetParam().chip : "RIVA_TNT2");
        card.vendorId = GetParam().vendor;
        card.deviceId = GetParam().device;
        card.bar0 = 0xE0000000;
        tree.Add(card);
    }

    ProgramResult Run(const std::vector<std::string>& args) {
        return RunProgram(TARVENTO_PROGRAM, args,
                          {{"TARVENTO_SYSFS_ROOT", tree.RootString()},
                           {"XDG_CONFIG_DIRS", (tree.Root() / "xdg").string()},
                           {"XDG_CONFIG_HOME", (tree.Root() / "config").string()},
                           {"XDG_STATE_HOME", (tree.Root() / "state").string()}},
                          {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"});
    }
    std::vector<char> Registers() const { return tree.FileBytes(tree.SlotDir(1, 0, 0) / "resource0"); }
};

std::string Clocks(const CardId& id, int32_t mem, int32_t core) {
    return std::string("Chipset: ") + id.chip + "\nMem Clock: " + std::to_string(mem) +
           " MHz\nChip Clock: " + std::to_string(core) + " MHz\n";
}

TEST_P(ChipIds, AreTakenWithTheirNameAndLimitsOrSaidWhyNot) {
    const CardId& id = GetParam();
    const ProgramResult info = Run({"--info"});
    if (id.chip == nullptr) {
        EXPECT_EQ(info.status, 1);
        EXPECT_EQ(info.out.rfind("Chipset: Unknown\n", 0), 0u) << info.out;
        EXPECT_NE(info.err.find(id.says), std::string::npos) << info.err;
        const std::vector<char> before = Registers();
        for (const char* chip : {"RIVA_TNT2", "TNT2_ULTRA", "RIVA_VANTA", "TNT2_M64"}) {
            const ProgramResult start = Run({chip, "150", "125"});
            EXPECT_EQ(start.status, 1) << chip;
            EXPECT_NE(start.err.find("wrong Chipset in ComandLine !"), std::string::npos) << start.err;
        }
        EXPECT_TRUE(Registers() == before) << "a card not taken is never written";
        return;
    }
    EXPECT_EQ(info.status, 0) << info.err;
    EXPECT_EQ(info.out.rfind(Clocks(id, id.mem, id.core), 0), 0u) << info.out;
    EXPECT_NE(info.out.find(std::string("\nSlider limits: ") + id.says + "\n"), std::string::npos) << info.out;

    // The unattended start sets both clocks, which then read exactly as asked.
    const ProgramResult start = Run({id.chip, std::to_string(id.mem + 7), std::to_string(id.core - 9)});
    EXPECT_EQ(start.status, 0) << start.err;
    EXPECT_EQ(Run({"--info"}).out.rfind(Clocks(id, id.mem + 7, id.core - 9), 0), 0u);
}

INSTANTIATE_TEST_SUITE_P(Tnt2Family, ChipIds, ::testing::ValuesIn(kIds),
                         [](const ::testing::TestParamInfo<CardId>& info) {
                             char name[16];
                             std::snprintf(name, sizeof name, "Id%04X_%04X", info.param.vendor, info.param.device);
                             return std::string(name);
                         });

}  // namespace
}  // namespace tarvento::testing
