// SPDX-License-Identifier: GPL-3.0-or-later
// Two display adapters, or one that does not answer: --info says which adapter the program
// takes and why, lists the others, and a card that reads all ones is refused with its
// reason before anything is written.

#include <string>

#include <gtest/gtest.h>

#include "chip/registers.h"
#include "tests/robust/robust_support.h"
#include "texts/chip_list_text.h"

namespace tarvento::testing {
namespace {

constexpr const char* kTaken =
    "Taken because: it is the first VGA-compatible function (class 0300h) with a BAR0, in "
    "bus/device/function order\n";

class TwoCards : public TreeTest {
protected:
    // A Radeon-like VGA function on 00:05.0, before the TNT on 01:00.0, and a display
    // function that is no VGA controller on 02:00.0.
    void AddCards(uint32_t otherBar0) {
        tree.AddFunction(0, 5, 0, 0x1002, 0x5046, 0x030000, otherBar0);
        tree.AddTnt(1, 0, 0, 0xE0000000);
        tree.AddFunction(2, 0, 0, 0x10DE, 0x0028, 0x038000, 0xE1000000);
    }
};

TEST_F(TwoCards, TheFirstVgaFunctionWithABar0IsTakenAndTheOthersListed) {
    AddCards(0);
    Freeze();
    const ProgramResult r = Run({"--info"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.rfind("Chipset: RIVA_TNT\nMem Clock: 110 MHz\nChip Clock: 90 MHz\nAutostart: off\n", 0), 0u)
        << r.out;
    EXPECT_NE(r.out.find("Adapter: 0000:01:00.0, vendor 10DE, device 0020, register base 0xE0000000\n" +
                         std::string(kTaken) +
                         "Other display adapter: 0000:00:05.0, 1002:5046, class 030000 (no BAR0)\n"
                         "Other display adapter: 0000:02:00.0, 10DE:0028, class 038000 (not VGA-compatible)\n"),
              std::string::npos) << r.out;
    ExpectNothingWritten();
}

TEST_F(TwoCards, AnotherCardFirstOnTheBusIsTakenAndSaidSo) {
    AddCards(0xE2000000);
    Freeze();
    const ProgramResult r = Run({"--info"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out.rfind("Chipset: Unknown\nAutostart: off\n", 0), 0u) << r.out;
    EXPECT_NE(r.out.find("Adapter: 0000:00:05.0, vendor 1002, device 5046, register base 0xE2000000\n" +
                         std::string(kTaken) +
                         "Other display adapter: 0000:01:00.0, 10DE:0020, class 030000 (later on the bus)\n"),
              std::string::npos) << r.out;
    EXPECT_EQ(r.err, "tarvento: the display adapter 1002:5046 is not a " + ChipsInWords(" or ") + "\n");
    ExpectNothingWritten();
}

TEST_F(TwoCards, OneCardAloneHasNoOthers) {
    tree.AddTnt(1, 0, 0, 0xE0000000);
    const ProgramResult r = Run({"--info"});
    EXPECT_NE(r.out.find(std::string(kTaken) + "Other display adapters: none\n"), std::string::npos) << r.out;
}

TEST_F(TwoCards, ACardThatAnswersAllOnesIsRefusedWithItsReason) {
    virtualcard::VirtualCard dead = *virtualcard::StockCard("RIVA_TNT");
    dead.corePll = dead.memPll = dead.strap = 0xFFFFFFFF;
    dead.bar0 = 0xE0000000;
    tree.Add(dead);
    Freeze();
    const std::string reason =
        "tarvento: the card answers FFFFFFFFh from its clock registers: it is not initialised, or its "
        "memory decoding is off, and its registers cannot be reached\n";
    const ProgramResult info = Run({"--info"});
    EXPECT_EQ(info.status, 1);
    EXPECT_EQ(info.err, reason);
    const ProgramResult start = Run({"RIVA_TNT", "120", "100"});
    EXPECT_EQ(start.status, 1);
    EXPECT_EQ(start.err.rfind("tarvento: PCI/AGP access failed !\n" + reason, 0), 0u) << start.err;
    ExpectNothingWritten();
}

}  // namespace
}  // namespace tarvento::testing
