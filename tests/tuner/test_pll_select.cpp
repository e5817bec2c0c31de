// SPDX-License-Identifier: GPL-3.0-or-later
// Every path of the window that writes clocks, against the PLL select word: with the word a
// driver leaves each writes exactly what it always wrote; with a bit clear that it needs it
// writes nothing at all, says why in the box it shows for registers it cannot reach, claims
// no success and records no pending apply. No path ever writes the select word itself.
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "chip/chip_table.h"
#include "chip/hex_text.h"
#include "tests/tuner/tuner_rig.h"
#include "texts/user_texts.h"

namespace tarvento::testing {
namespace {

namespace fs = std::filesystem;

enum class Action { SetClockNow, Panic, UnattendedStart };

struct Path {
    const char* name;
    Action action;
    // What the path says when it writes every clock (after the warning, for Panic !).
    std::vector<std::string> success;
};

const Path kPaths[] = {
    {"SetClockNow", Action::SetClockNow, {kWarningText}},
    {"Panic", Action::Panic, {kMsgRestored}},
    {"UnattendedStart", Action::UnattendedStart, {}},
};

struct Card {
    const char* chip;
    uint32_t select;
    const char* why;  // in the reason when nothing may be written; nullptr: it writes
};

const Card kCards[] = {
    {kRivaTntName, kPllSelectTntDriver, nullptr},
    {kRivaTntName, kPllSelectMemBit | kPllSelectCoreBit, nullptr},
    {kRivaTntName, 0x00000000, "the memory PLL and the core PLL run from the chip's built-in clock"},
    {kRivaTntName, kPllSelectMemBit, "the core PLL runs from the chip's built-in clock"},
    {kRivaTntName, kPllSelectCoreBit, "the memory PLL runs from the chip's built-in clock"},
    {kRiva128Name, kPllSelectRiva128Driver, nullptr},
    {kRiva128Name, kPllSelectMemBit, nullptr},  // its core PLL is not the program's to write
    {kRiva128Name, kPllSelectCoreBit, "the memory PLL runs from the chip's built-in clock"},
    // The select word alone reads all ones: named as such, not as a card that stopped answering.
    {kRiva128Name, 0xFFFFFFFF, "the PLL select word at offset 0x0068050C reads 0xFFFFFFFF although"},
    {kRivaTntName, 0xFFFFFFFF, "the PLL select word at offset 0x0068050C reads 0xFFFFFFFF although"},
};

// What sets the select bits on each chip, as every refusal that names them says.
const char* SelectBitSetters(const std::string& chip) {
    return chip == kRivaTntName ? "; nouveau, the nv X driver and rivafb switch "
                                : "; the nv X driver and rivafb switch ";
}

class PllSelectPaths : public TunerRig, public ::testing::WithParamInterface<std::tuple<Path, Card>> {
protected:
    fs::path root = fs::temp_directory_path() / ("tarvento-select-" + std::to_string(::getpid()));
    fs::path record = root / "last-apply";
    std::unique_ptr<ApplyGuard> loginGuard;

    void SetUp() override {
        fs::remove_all(root);
        fs::create_directories(root / "proc/sys/kernel/random");
        std::ofstream(root / "proc/sys/kernel/random/boot_id") << "boot-1\n";
        std::ofstream(root / "proc/cmdline") << "quiet\n";
        loginGuard = std::make_unique<ApplyGuard>(record.string(), ApplySource::Login,
                                                  GuardMachine{(root / "proc").string()});
        guard = loginGuard.get();
    }
    void TearDown() override { fs::remove_all(root); }
};

TEST_P(PllSelectPaths, WritesOnlyWhenEachPllItSetsRunsFromItsWord) {
    const auto& [path, card] = GetParam();
    const bool tnt = std::string(card.chip) == kRivaTntName;
    if (tnt) {
        InsertTnt();
    } else {
        InsertRiva128(kWordN150);
    }
    hw.ClearLog();
    // Each path with `select` in the card right before it writes.
    auto chooseAndSet = [&] {
        StartAndAccept();
        Drag(kIdMemTrackbar, 100);
        Drag(kIdChipTrackbar, 100);
    };
    switch (path.action) {
    case Action::SetClockNow:
        chooseAndSet();
        hw.SetRegister(kPllSelect, card.select);
        dialog->SetClockNow();
        break;
    case Action::Panic:
        chooseAndSet();
        dialog->SetClockNow();
        controls.ClearLog();
        hw.ClearLog();
        hw.SetRegister(kPllSelect, card.select);
        dialog->RestoreClocks();
        break;
    case Action::UnattendedStart:
        hw.SetRegister(kPllSelect, card.select);
        Start(std::string(card.chip) + " 100 100");
        break;
    }

    EXPECT_EQ(hw.CountAccesses(Access::Write, kPllSelect), 0) << "the select word is never written";
    EXPECT_EQ(hw.Register(kPllSelect), card.select);
    const std::vector<std::string> messages = controls.Messages();
    if (card.why == nullptr) {
        EXPECT_EQ(hw.Writes().size(), tnt ? 2u : 1u);
        EXPECT_EQ(messages, path.success);
        EXPECT_TRUE(controls.informativeTexts.empty());
        return;
    }
    EXPECT_TRUE(hw.Writes().empty()) << "not one PLL of two, nor one of one";
    ASSERT_FALSE(messages.empty());
    EXPECT_EQ(messages.back(), kMsgPciAccessFailed);
    EXPECT_EQ(std::count(messages.begin(), messages.end(), kMsgRestored), 0);
    ASSERT_EQ(controls.informativeTexts.size(), 1u);
    EXPECT_NE(controls.informativeTexts[0].find(card.why), std::string::npos) << controls.informativeTexts[0];
    if (card.select != 0xFFFFFFFF) {
        EXPECT_NE(controls.informativeTexts[0].find(SelectBitSetters(card.chip)), std::string::npos)
            << controls.informativeTexts[0];
    }
    EXPECT_FALSE(dialog->UnattendedStartSucceeded());
    EXPECT_FALSE(fs::exists(record)) << "an apply that wrote nothing is not pending";
}

INSTANTIATE_TEST_SUITE_P(
    AllPaths, PllSelectPaths, ::testing::Combine(::testing::ValuesIn(kPaths), ::testing::ValuesIn(kCards)),
    [](const ::testing::TestParamInfo<std::tuple<Path, Card>>& info) {
        return std::string(std::get<0>(info.param).name) + "_" + std::get<1>(info.param).chip + "_" +
               HexDigits(std::get<1>(info.param).select, 8);
    });

}  // namespace
}  // namespace tarvento::testing
