// SPDX-License-Identifier: GPL-3.0-or-later
// Every path of the window that writes clocks, against the PLL select word: with the word a
// driver leaves each writes exactly what it always wrote; with a bit clear that it needs it
// writes nothing at all, says why in the box it shows for registers it cannot reach, claims
// no success and records no pending apply. No path ever writes the select word itself.
// Then every start of the built program that can record an apply, against the same word.
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>

#include "chip/chip_table.h"
#include "chip/hex_text.h"
#include "tests/support/program_runner.h"
#include "tests/support/virtual_tree.h"
#include "tests/support/temp_folder.h"
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
    // The TNT2 family has the TNT's select bits.
    {kRivaTnt2Name, kPllSelectTntDriver, nullptr},
    {kRivaTnt2Name, kPllSelectMemBit, "the core PLL runs from the chip's built-in clock"},
    {kRivaTnt2Name, kPllSelectCoreBit, "the memory PLL runs from the chip's built-in clock"},
};

// What sets the select bits on each chip, as every refusal that names them says.
const char* SelectBitSetters(const std::string& chip) {
    return FindChipProfileByName(chip.c_str())->architecture == ChipArchitecture::Nv4
               ? "; nouveau, the nv X driver and rivafb switch "
               : "; the nv X driver and rivafb switch ";
}

class PllSelectPaths : public TunerRig, public ::testing::WithParamInterface<std::tuple<Path, Card>> {
protected:
    TempFolder folder;
    fs::path root = folder.Path();
    fs::path record = root / "last-apply";
    std::unique_ptr<ApplyGuard> loginGuard;

    void SetUp() override {
        fs::create_directories(root / "proc/sys/kernel/random");
        std::ofstream(root / "proc/sys/kernel/random/boot_id") << "boot-1\n";
        std::ofstream(root / "proc/cmdline") << "quiet\n";
        loginGuard = std::make_unique<ApplyGuard>(record.string(), ApplySource::Login,
                                                  GuardMachine{(root / "proc").string()});
        guard = loginGuard.get();
    }
};

TEST_P(PllSelectPaths, WritesOnlyWhenEachPllItSetsRunsFromItsWord) {
    const auto& [path, card] = GetParam();
    const bool tnt = std::string(card.chip) == kRivaTntName;
    const ChipProfile* tnt2 = std::string(card.chip) == kRivaTnt2Name ? FindChipProfileByName(card.chip) : nullptr;
    if (tnt) {
        InsertTnt();
    } else if (tnt2 != nullptr) {
        InsertCard(0x10DE, tnt2->deviceIds[0]);
        hw.SetRegister(kMemPll, tnt2->memoryClock->stockPll);
        hw.SetRegister(kCorePll, tnt2->chipClock->stockPll);
    } else {
        InsertRiva128(kWordN150);
    }
    // Clocks within every chip's sliders.
    const int mhz = tnt2 != nullptr ? 150 : 100;
    const std::string clocks = std::to_string(mhz) + " " + std::to_string(mhz);
    hw.ClearLog();
    // Each path with `select` in the card right before it writes.
    auto chooseAndSet = [&] {
        StartAndAccept();
        Drag(kIdMemTrackbar, mhz);
        Drag(kIdChipTrackbar, mhz);
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
        Start(std::string(card.chip) + " " + clocks);
        break;
    }

    EXPECT_EQ(hw.CountAccesses(Access::Write, kPllSelect), 0) << "the select word is never written";
    EXPECT_EQ(hw.Register(kPllSelect), card.select);
    const std::vector<std::string> messages = controls.Messages();
    if (card.why == nullptr) {
        EXPECT_EQ(hw.Writes().size(), tnt || tnt2 != nullptr ? 2u : 1u);
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

// Every start that can record a pending apply, as the built program runs it on a virtual
// RIVA TNT: the unattended start without a display, in a window, and where a display is
// named but no window can open, and the boot service. With the select word a driver
// leaves each records its apply and writes; with the select bits clear each writes
// nothing, records nothing, says why and fails.
enum class Start { Headless, Window, NoWindowCanOpen, BootService };

struct RecordingStart {
    const char* name;
    Start start;
};

const RecordingStart kRecordingStarts[] = {
    {"Headless", Start::Headless},
    {"Window", Start::Window},
    {"NoWindowCanOpen", Start::NoWindowCanOpen},
    {"BootService", Start::BootService},
};

// Runs a program under an X server and, once a box captioned with the program's name is
// up, answers it with Enter: a refused unattended start in a window waits for its box.
constexpr const char* kAnswerTheBox =
    "\"$@\" & program=$!\n"
    "for i in $(seq 400); do\n"
    "  box=$(xdotool search --onlyvisible --name '^tarvento$' 2>/dev/null | head -n 1)\n"
    "  [ -n \"$box\" ] && break; sleep 0.05\n"
    "done\n"
    "[ -n \"$box\" ] && xdotool key --window \"$box\" Return 2>/dev/null\n"
    "wait $program\n";

class RecordingStarts : public ::testing::TestWithParam<std::tuple<RecordingStart, bool>> {
protected:
    VirtualTree tree;
    fs::path machine = tree.Root() / "machine";  // TARVENTO_MACHINE_ROOT
    fs::path state = tree.Root() / "state";      // XDG_STATE_HOME

    fs::path Resource0() const { return tree.SlotDir(1, 0, 0) / "resource0"; }
};

TEST_P(RecordingStarts, RecordOnlyWhatTheyWrite) {
    const auto& [start, refused] = GetParam();
    const fs::path built = fs::path(TARVENTO_PROGRAM).parent_path().parent_path();
    std::unique_ptr<PrivateXServer> x;
    if (start.start == Start::Window) {
        if (!fs::exists(built / "lib/tarvento/libtarvento_ui.so")) GTEST_SKIP() << "built without the window library";
        if (::access("/usr/bin/xdotool", X_OK) != 0) GTEST_SKIP() << "xdotool is not installed";
        x = std::make_unique<PrivateXServer>();
        if (x->Display().empty()) GTEST_SKIP() << "Xvfb is not available";
    }
    virtualcard::VirtualCard card = *virtualcard::StockCard(kRivaTntName);
    card.bar0 = 0xE0000000;
    if (refused) card.pllSelect = 0;
    tree.Add(card);
    for (const char* folder : {"etc/tarvento", "var/lib/tarvento", "proc/sys/kernel/random"})
        fs::create_directories(machine / folder);
    std::ofstream(machine / "etc/tarvento/boot-clocks") << "RIVA_TNT 120 100\n";
    std::ofstream(machine / "proc/sys/kernel/random/boot_id") << "boot-1\n";
    std::ofstream(machine / "proc/cmdline") << "quiet\n";
    const uint32_t mem = tree.FileWord(Resource0(), kMemPllOffset);
    const uint32_t core = tree.FileWord(Resource0(), kCorePllOffset);

    std::map<std::string, std::string> set = {
        {"TARVENTO_SYSFS_ROOT", tree.RootString()},
        {"TARVENTO_MACHINE_ROOT", machine.string()},
        {"XDG_STATE_HOME", state.string()},
        {"XDG_CONFIG_HOME", (tree.Root() / "config").string()},
        {"XDG_CONFIG_DIRS", (tree.Root() / "xdg").string()},
        {"TARVENTO_SURVIVAL_SECONDS", "1"},
        {"LSAN_OPTIONS", "suppressions=" TARVENTO_TEST_DATA_DIR "/sanitizers/lsan.supp"}};
    std::vector<std::string> unset = {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "STATE_DIRECTORY",
                                      "RUNTIME_DIRECTORY"};
    const std::vector<std::string> unattended = {"RIVA_TNT", "120", "100"};
    fs::path record = state / "tarvento/last-apply";
    ProgramResult r;
    switch (start.start) {
    case Start::Headless: r = RunProgram(TARVENTO_PROGRAM, unattended, set, unset); break;
    case Start::NoWindowCanOpen:
        set["QT_QPA_PLATFORM"] = "nosuch";
        r = RunProgram(TARVENTO_PROGRAM, unattended, set, unset, 30);
        break;
    case Start::Window: {
        set["DISPLAY"] = x->Display();
        std::vector<std::string> args = {"-c", kAnswerTheBox, "sh", TARVENTO_PROGRAM};
        args.insert(args.end(), unattended.begin(), unattended.end());
        r = refused ? RunProgram("/bin/sh", args, set, unset, 30)
                    : RunProgram(TARVENTO_PROGRAM, unattended, set, unset, 30);
        break;
    }
    case Start::BootService:
        record = machine / "var/lib/tarvento/last-apply";
        r = RunProgram(TARVENTO_PROGRAM, {"--apply-boot-clocks"}, set, unset, 30);
        break;
    }
    ASSERT_FALSE(r.timedOut) << "no box came to answer, or the start did not end: " << r.err;
    EXPECT_EQ(r.status, refused ? 1 : 0) << r.err;
    EXPECT_EQ(tree.FileWord(Resource0(), kPllSelectOffset), card.pllSelect) << "the select word is never written";
    if (!refused) {
        EXPECT_TRUE(fs::exists(record)) << "an apply that writes is recorded first";
        EXPECT_NE(tree.FileWord(Resource0(), kMemPllOffset), mem);
        EXPECT_NE(tree.FileWord(Resource0(), kCorePllOffset), core);
        return;
    }
    EXPECT_FALSE(fs::exists(record)) << "an apply that wrote nothing is not pending";
    EXPECT_EQ(tree.FileWord(Resource0(), kMemPllOffset), mem);
    EXPECT_EQ(tree.FileWord(Resource0(), kCorePllOffset), core);
    // The window said it in its box; the others say it on standard error.
    if (start.start != Start::Window) {
        EXPECT_NE(r.err.find("the memory PLL and the core PLL run from the chip's built-in clock"),
                  std::string::npos) << r.err;
        EXPECT_NE(r.err.find(SelectBitSetters(kRivaTntName)), std::string::npos) << r.err;
    }
}

INSTANTIATE_TEST_SUITE_P(
    EveryStart, RecordingStarts, ::testing::Combine(::testing::ValuesIn(kRecordingStarts), ::testing::Bool()),
    [](const ::testing::TestParamInfo<std::tuple<RecordingStart, bool>>& info) {
        return std::string(std::get<0>(info.param).name) + (std::get<1>(info.param) ? "_Refused" : "_Applied");
    });

}  // namespace
}  // namespace tarvento::testing
