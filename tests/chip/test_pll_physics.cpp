// SPDX-License-Identifier: GPL-3.0-or-later
// The TNT2 family's clocks, read and set by the PLL's own relation through the routines
// over the chip's registers, against the worked words of an implementation apart from the
// program (tests/data/clock_formulas/physics_reference.py).
#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "chip/chip_table.h"
#include "chip/registers.h"
#include "tests/support/card_constants.h"
#include "tests/support/fake_hardware.h"

namespace tarvento {
namespace {

using namespace testing;

struct WorkedWord {
    uint32_t pll, strap;
    int32_t target;
    int32_t reads;                    // the MHz `pll` reads as
    std::optional<uint32_t> written;  // what a set of `target` writes; nothing: refused
    std::string line;
};

std::vector<WorkedWord> WorkedWords() {
    std::ifstream in(std::string(TARVENTO_TEST_DATA_DIR) + "/clock_formulas/physics.txt");
    EXPECT_TRUE(in) << "physics.txt";
    std::vector<WorkedWord> rows;
    for (std::string line; std::getline(in, line);) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream f(line);
        std::string pll, strap, written;
        WorkedWord w{};
        f >> pll >> strap >> w.target >> w.reads >> written;
        EXPECT_TRUE(f && f.peek() == EOF) << line;
        w.pll = static_cast<uint32_t>(std::stoul(pll, nullptr, 16));
        w.strap = static_cast<uint32_t>(std::stoul(strap, nullptr, 16));
        if (written != "-") w.written = static_cast<uint32_t>(std::stoul(written, nullptr, 16));
        w.line = line;
        rows.push_back(w);
    }
    return rows;
}

// Both clocks of every chip of the family: each has its own stock words, all the same rules.
std::vector<const ChipClock*> FamilyClocks() {
    std::vector<const ChipClock*> clocks;
    for (const char* name : {kRivaTnt2Name, kTnt2UltraName, kRivaVantaName, kTnt2M64Name}) {
        const ChipProfile* chip = FindChipProfileByName(name);
        EXPECT_NE(chip, nullptr) << name;
        if (chip == nullptr) continue;
        clocks.push_back(chip->memoryClock);
        clocks.push_back(chip->chipClock);
    }
    return clocks;
}

TEST(PllPhysics, ReadsAndWritesTheReferenceWordsWordForWord) {
    const std::vector<WorkedWord> rows = WorkedWords();
    ASSERT_GE(rows.size(), 80u);
    for (const ChipClock* clock : FamilyClocks()) {
        const uint32_t pll = kBase + clock->pllOffset;
        for (const WorkedWord& w : rows) {
            SCOPED_TRACE(::testing::Message() << w.line << " on the PLL at 0x" << std::hex << clock->pllOffset);
            FakeHardware hw;
            hw.SetRegister(kMemPll, w.pll);
            hw.SetRegister(kCorePll, w.pll);
            hw.SetRegister(kStrap, w.strap);
            EXPECT_EQ(ReadChipClock(hw, kBase, *clock), w.reads);
            hw.ClearLog();
            const SetResult result = SetChipClock(hw, kBase, *clock, w.target);
            if (w.written) {
                EXPECT_EQ(result, SetResult::Written);
                EXPECT_EQ(hw.Register(pll), *w.written);
                EXPECT_EQ(hw.Writes().size(), 1u);
                // What is written reads back as exactly what was asked.
                EXPECT_EQ(ReadChipClock(hw, kBase, *clock), w.target);
            } else {
                EXPECT_EQ(result, SetResult::OutOfRange);
                EXPECT_TRUE(hw.Writes().empty());
            }
        }
    }
}

}  // namespace
}  // namespace tarvento
