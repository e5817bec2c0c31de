// SPDX-License-Identifier: GPL-3.0-or-later
// The built program run as a user runs it, on virtual cards in temporary folders.

#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <string>

#include "chip/clock_formulas.h"
#include "chip/registers.h"
#include "chip/version.h"
#include "keeping/autostart_store.h"
#include "keeping/xdg_autostart_store.h"
#include "tests/support/program_runner.h"
#include "tests/support/staged_build.h"
#include "tests/support/unsupported_card.h"
#include "tests/support/virtual_tree.h"
#include "texts/user_texts.h"

namespace tarvento::testing {
namespace {

namespace fs = std::filesystem;

const std::vector<std::string> kDisplayVariables = {"DISPLAY", "WAYLAND_DISPLAY",
                                                    "QT_QPA_PLATFORM"};

class ProgramTest : public ::testing::Test {
protected:
    VirtualTree tree;
    fs::path config = tree.Root() / "xdg";  // XDG_CONFIG_DIRS: never the real /etc/xdg
    fs::path configHome = tree.Root() / "config";  // XDG_CONFIG_HOME: never the real ~/.config

    fs::path Resource0() const { return tree.SlotDir(1, 0, 0) / "resource0"; }
    uint32_t Word(uint32_t offset) const { return tree.FileWord(Resource0(), offset); }

    ProgramResult Run(const std::vector<std::string>& args,
                      std::map<std::string, std::string> set = {}, double limit = 20) {
        set["TARVENTO_SYSFS_ROOT"] = tree.RootString();
        set["XDG_CONFIG_DIRS"] = config.string();
        set["XDG_CONFIG_HOME"] = configHome.string();
        std::vector<std::string> unset;
        for (const auto& v : kDisplayVariables)
            if (!set.count(v)) unset.push_back(v);
        return RunProgram(TARVENTO_PROGRAM, args, set, unset, limit);
    }

    void StoreEntry(const std::string& entry) {
        XdgAutostartStore store((config / "autostart").string());
        ASSERT_TRUE(store.OpenToWrite());
        ASSERT_TRUE(store.StoreEntry(entry));
        store.Close();
    }
};

std::string FirstLines(const std::string& text, int n) {
    size_t at = 0;
    for (int i = 0; i < n && at != std::string::npos; ++i) {
        at = text.find('\n', at);
        if (at != std::string::npos) ++at;
    }
    return text.substr(0, at);
}

TEST_F(ProgramTest, InfoReportsATntAndItsStoredEntryWithoutWritingAnything) {
    tree.AddTnt(1, 0, 0, 0xE0000000);
    const std::string program = fs::canonical(TARVENTO_PROGRAM).string();
    StoreEntry(program + " RIVA_TNT 110 100");
    const std::vector<char> before = tree.FileBytes(Resource0());

    const ProgramResult r = Run({"--info"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(FirstLines(r.out, 4),
              "Chipset: RIVA_TNT\nMem Clock: 110 MHz\nChip Clock: 90 MHz\n"
              "Autostart: on, Mem Clock 110 MHz, Chip Clock 100 MHz\n");
    EXPECT_NE(r.out.find("0000:01:00.0"), std::string::npos);
    EXPECT_NE(r.out.find("M 12, N 150, P 1"), std::string::npos) << "core PLL decoded";
    EXPECT_EQ(tree.FileBytes(Resource0()), before);

    // An entry the desktop would not start with this program is off, and says why.
    const fs::path file = config / "autostart" / "Tarvo.desktop";
    std::ofstream(file, std::ios::app) << "NotShowIn=Openbox;\n";
    const std::string hidden = Run({"--info"}, {{"XDG_CURRENT_DESKTOP", "Openbox"}}).out;
    EXPECT_NE(hidden.find("\nAutostart: off (not shown in this desktop)\nAutostart file: " +
                          file.string() + "\n"),
              std::string::npos)
        << hidden;
    StoreEntry("/opt/tarvento/bin/tarvento RIVA_TNT 110 100");
    EXPECT_NE(Run({"--info"}).out.find(
                  "\nAutostart: off (its program /opt/tarvento/bin/tarvento cannot be found)\n"),
              std::string::npos);
}

TEST_F(ProgramTest, HelpSaysWhereTheAutostartEntryLives) {
    const ProgramResult r = Run({"--help"});
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("$XDG_CONFIG_HOME/autostart/Tarvo.desktop"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("~/.config/autostart"), std::string::npos) << r.out;
}

// The command line as a Linux tool's, with and without a display, as root and as a user
// who is not: -h and -V, an unknown option (an error, and no window: the window library
// is not even loaded), and a chip name that is not the card's, which says which card is.
TEST_F(ProgramTest, TheCommandLineIsALinuxTools) {
    tree.AddTnt(1, 0, 0, 0xE0000000);
    const std::string usage = Run({"--help"}).out;
    ASSERT_EQ(usage.rfind("Usage: tarvento [CHIP MEMCLOCK CHIPCLOCK]\n", 0), 0u) << usage;
    const std::string unknown = "tarvento: unknown option '--frobnicate'; see tarvento --help\n";
    struct Case {
        std::vector<std::string> args;
        std::vector<bool> displays;  // run without one, with one (offscreen), or both
        bool alsoAsNobody;
        int status;
        std::string out;  // all of standard output
        std::string err;  // all of standard error
    };
    const Case cases[] = {
        {{"-h"}, {false, true}, true, 0, usage, ""},
        {{"-V"}, {false, true}, true, 0, std::string("Tarvento ") + kVersion + "\n", ""},
        {{"--version"}, {false}, false, 0, std::string("Tarvento ") + kVersion + "\n", ""},
        {{"--frobnicate"}, {false, true}, true, 2, "", unknown},
        {{"-x", "RIVA_TNT", "110", "100"}, {false, true}, false, 2, "",
         "tarvento: unknown option '-x'; see tarvento --help\n"},
        {{"-"}, {false, true}, false, 2, "", "tarvento: unknown option '-'; see tarvento --help\n"},
        {{"-h", "RIVA_TNT"}, {false, true}, false, 2, "", "tarvento: -h takes no further arguments\n"},
        // Without a display a chip name and two clocks were meant to be applied: a window
        // would not apply them either, so it says why and fails.
        {{"RIVA_128", "110", "110"}, {false}, false, 1, "",
         "tarvento: wrong Chipset in ComandLine !\n"
         "tarvento: the card found is a RIVA_TNT (10DE:0020) at 0000:01:00.0\n"},
        {{"RIVA_128"}, {false}, false, 2, "", std::string("tarvento: ") + kNeedsGraphicalSession + "\n"},
    };
    const fs::path trace = tree.Root() / "ld-trace";
    const bool root = ::geteuid() == 0;
    for (const Case& c : cases) {
        for (const bool display : c.displays) {
            for (const bool nobody : {false, c.alsoAsNobody}) {
                if (nobody && !c.alsoAsNobody) continue;
                SCOPED_TRACE(::testing::PrintToString(c.args) + (display ? " with a display" : "") +
                             (nobody ? " as nobody" : ""));
                std::map<std::string, std::string> set;
                if (display) set["QT_QPA_PLATFORM"] = "offscreen";
                ProgramResult r;
                if (nobody && root) {
                    // The dynamic loader's trace stays with root's runs: nobody may not write it.
                    std::vector<std::string> args = {"--reuid=65534", "--regid=65534", "--clear-groups",
                                                     StagedProgram().string()};
                    args.insert(args.end(), c.args.begin(), c.args.end());
                    set["TARVENTO_SYSFS_ROOT"] = tree.RootString();
                    std::vector<std::string> unset = {"XDG_STATE_HOME"};
                    for (const auto& v : kDisplayVariables)
                        if (!set.count(v)) unset.push_back(v);
                    r = RunProgram("/usr/bin/setpriv", args, set, unset);
                } else {
                    fs::remove_all(trace);
                    fs::create_directories(trace);
                    set["LD_DEBUG"] = "libs";
                    set["LD_DEBUG_OUTPUT"] = (trace / "ld").string();
                    r = Run(c.args, set);
                    std::string loaded;
                    for (const auto& file : fs::directory_iterator(trace)) {
                        std::ifstream in(file.path());
                        loaded += std::string(std::istreambuf_iterator<char>(in), {});
                    }
                    EXPECT_NE(loaded.find("libtarvento_core"), std::string::npos) << "the loader left no trace";
                    EXPECT_EQ(loaded.find("libtarvento_ui"), std::string::npos) << "the window library was loaded";
                    EXPECT_EQ(loaded.find("libQt"), std::string::npos) << "the window toolkit was loaded";
                }
                EXPECT_EQ(r.status, c.status) << r.err;
                EXPECT_EQ(r.out, c.out);
                EXPECT_EQ(r.err, c.err);
            }
        }
    }
    EXPECT_EQ(Word(kMemPllOffset), 0x0001B80Cu) << "no start here writes a clock";
}

TEST_F(ProgramTest, InfoPrintsTheOneClockOfTheRiva128FamilyOnBothLines) {
    for (const char* name : {"RIVA_128", "RIVA_128ZX"}) {
        VirtualTree own;
        auto card = virtualcard::StockCard(name);
        ASSERT_TRUE(card);
        card->bar0 = 0xE0000000;
        own.Add(*card);
        const int32_t mhz = Riva128ClockFromPll(card->memPll, card->strap);
        const ProgramResult r = RunProgram(
            TARVENTO_PROGRAM, {"--info"},
            {{"TARVENTO_SYSFS_ROOT", own.RootString()},
             {"XDG_CONFIG_DIRS", config.string()},
             {"XDG_CONFIG_HOME", configHome.string()}},
            kDisplayVariables);
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(FirstLines(r.out, 4), std::string("Chipset: ") + name + "\nMem Clock: " +
                                            std::to_string(mhz) + " MHz\nChip Clock: " +
                                            std::to_string(mhz) + " MHz\nAutostart: off\n");
    }
}

// Beside each PLL word, the clock it really makes, f = Fref * N / (M * 2^P), with the
// crystal strap bit 6 selects; the figures here are worked out by hand, or are the words
// of real cards. Then the select word, and how each PLL the program sets runs.
TEST_F(ProgramTest, InfoPrintsTheClockEachPllWordMakes) {
    struct Case {
        const char* chip;
        uint32_t strap, corePll, memPll;
        const char* line;  // the line expected
        std::optional<uint32_t> pllSelect = std::nullopt;  // none: the chip's stock word
    };
    const Case cases[] = {
        // 14.31818 * 150 / (12 * 2) and 14.31818 * 184 / (12 * 2)
        {"RIVA_TNT", 0x40, 0x0001960C, 0x0001B80C,
         "Core PLL (0xE0680500): 0x0001960C  M 12, N 150, P 1, makes 89.489 MHz (crystal 14.31818 MHz)\n"},
        {"RIVA_TNT", 0x40, 0x0001960C, 0x0001B80C,
         "Memory PLL (0xE0680504): 0x0001B80C  M 12, N 184, P 1, makes 109.773 MHz (crystal 14.31818 MHz)\n"},
        // 13.5 * 150 / 24 = 84.375 and 13.5 * 184 / 24 = 103.5
        {"RIVA_TNT", 0x00, 0x0001960C, 0x0001B80C,
         "Core PLL (0xE0680500): 0x0001960C  M 12, N 150, P 1, makes 84.375 MHz (crystal 13.5 MHz)\n"},
        {"RIVA_TNT", 0x00, 0x0001960C, 0x0001B80C,
         "Memory PLL (0xE0680504): 0x0001B80C  M 12, N 184, P 1, makes 103.500 MHz (crystal 13.5 MHz)\n"},
        // P = 0 divides by 1: 14.31818 * 184 / 12
        {"RIVA_TNT", 0x40, 0x0001960C, 0x0000B80C,
         "Memory PLL (0xE0680504): 0x0000B80C  M 12, N 184, P 0, makes 219.545 MHz (crystal 14.31818 MHz)\n"},
        {"RIVA_TNT", 0x40, 0x00019600, 0x0001B80C,
         "Core PLL (0xE0680500): 0x00019600  M 0, N 150, P 1, no clock: M is 0 (crystal 14.31818 MHz)\n"},
        // A TNT BIOS's words with the 13.5 MHz crystal: 13.5 * 120 / (9 * 2), 13.5 * 163 / (10 * 2)
        {"RIVA_TNT", 0x00, 0x00017809, 0x0001A30A,
         "Core PLL (0xE0680500): 0x00017809  M 9, N 120, P 1, makes 90.000 MHz (crystal 13.5 MHz)\n"},
        {"RIVA_TNT", 0x00, 0x00017809, 0x0001A30A,
         "Memory PLL (0xE0680504): 0x0001A30A  M 10, N 163, P 1, makes 110.025 MHz (crystal 13.5 MHz)\n"},
        // The RIVA 128's one clock: 13.5 * 168 / 24 and 14.31818 * 168 / 24
        {"RIVA_128", 0x00, 0x0001960C, 0x0001A80C,
         "Memory PLL (0xE0680504): 0x0001A80C  M 12, N 168, P 1, makes 94.500 MHz (crystal 13.5 MHz)\n"},
        {"RIVA_128", 0x40, 0x0001960C, 0x0001A80C,
         "Memory PLL (0xE0680504): 0x0001A80C  M 12, N 168, P 1, makes 100.227 MHz (crystal 14.31818 MHz)\n"},
        // A RIVA 128's 100 MHz with each crystal: 13.5 * 163 / (11 * 2), 14.31818 * 196 / (14 * 2)
        {"RIVA_128", 0x00, 0x0001960C, 0x0001A30B,
         "Memory PLL (0xE0680504): 0x0001A30B  M 11, N 163, P 1, makes 100.023 MHz (crystal 13.5 MHz)\n"},
        {"RIVA_128", 0x40, 0x0001960C, 0x0001C40E,
         "Memory PLL (0xE0680504): 0x0001C40E  M 14, N 196, P 1, makes 100.227 MHz (crystal 14.31818 MHz)\n"},
        // The select word as a driver leaves it, and as it comes from reset.
        {"RIVA_TNT", 0x40, 0x0001960C, 0x0001B80C,
         "PLL select (0xE068050C): 0x10000700  memory PLL from its word (bit 8), core PLL from its word "
         "(bit 10)\n"},
        {"RIVA_TNT", 0x40, 0x0001960C, 0x0001B80C,
         "PLL select (0xE068050C): 0x00000100  memory PLL from its word (bit 8), core PLL from the chip's "
         "built-in clock (bit 10 clear); no clocks are written until a driver sets a display mode\n",
         0x00000100},
        {"RIVA_128ZX", 0x40, 0x0001960C, 0x0001A80C,
         "PLL select (0xE068050C): 0x10010100  memory PLL from its word (bit 8)\n"},
        {"RIVA_128", 0x40, 0x0001960C, 0x0001A80C,
         "PLL select (0xE068050C): 0x00000000  memory PLL from the chip's built-in clock (bit 8 clear); no "
         "clocks are written until a driver sets a display mode\n",
         0x00000000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        VirtualTree own;
        virtualcard::VirtualCard card = *virtualcard::StockCard(c.chip);
        card.bar0 = 0xE0000000;
        card.strap = c.strap;
        card.corePll = c.corePll;
        card.memPll = c.memPll;
        card.pllSelect = c.pllSelect.value_or(card.pllSelect);
        own.Add(card);
        const ProgramResult r = RunProgram(
            TARVENTO_PROGRAM, {"--info"},
            {{"TARVENTO_SYSFS_ROOT", own.RootString()},
             {"XDG_CONFIG_DIRS", config.string()},
             {"XDG_CONFIG_HOME", configHome.string()}},
            kDisplayVariables);
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_NE(r.out.find(c.line), std::string::npos) << r.out;
    }
}

TEST_F(ProgramTest, InfoWithoutASupportedChipSaysWhyAndFails) {
    const ProgramResult empty = Run({"--info"});
    EXPECT_EQ(empty.status, 1);
    EXPECT_EQ(FirstLines(empty.out, 2), "Chipset: Unknown\nAutostart: off\n");
    EXPECT_NE(empty.err.find("no VGA-compatible display adapter"), std::string::npos) << empty.err;

    tree.AddFunction(1, 0, 0, kUnsupportedCard.vendorId, kUnsupportedCard.deviceId, 0x030000, 0xE0000000);
    const ProgramResult other = Run({"--info"});
    EXPECT_EQ(other.status, 1);
    EXPECT_EQ(FirstLines(other.out, 1), "Chipset: Unknown\n");
    EXPECT_NE(other.err.find(::testing::PrintToString(kUnsupportedCard)), std::string::npos) << other.err;
}

TEST_F(ProgramTest, InfoNeverLoadsTheWindowToolkit) {
    tree.AddTnt(1, 0, 0, 0xE0000000);
    const ProgramResult r = Run({"--info"}, {{"LD_DEBUG", "libs"}});
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.err.find("libtarvento_core"), std::string::npos) << "LD_DEBUG gave no trace";
    EXPECT_EQ(r.err.find("libQt6"), std::string::npos);
    EXPECT_EQ(r.err.find("libtarvento_ui"), std::string::npos);
}

TEST_F(ProgramTest, HeadlessUnattendedStartWritesExactlyTheTwoPllWords) {
    tree.AddTnt(1, 0, 0, 0xE0000000);
    const uint32_t strap = Word(kStrapOffset);
    const uint32_t core = Word(kCorePllOffset);
    const uint32_t mem = Word(kMemPllOffset);
    std::vector<char> expected = tree.FileBytes(Resource0());

    const ProgramResult r = Run({"RIVA_TNT", "120", "100"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_NE(r.out.find("RIVA_TNT"), std::string::npos) << "the notice names the chip";
    EXPECT_LT(r.seconds, 1.0) << "nothing waits without a display";

    const uint32_t newMem = PllWithN(mem, *TntMemN(120, mem, strap));
    const uint32_t newCore = PllWithN(core, *TntChipN(100, core, strap));
    EXPECT_EQ(Word(kMemPllOffset), newMem);
    EXPECT_EQ(Word(kCorePllOffset), newCore);
    std::memcpy(&expected[kMemPllOffset], &newMem, 4);
    std::memcpy(&expected[kCorePllOffset], &newCore, 4);
    EXPECT_TRUE(tree.FileBytes(Resource0()) == expected) << "a byte changed outside the PLLs";
}

TEST_F(ProgramTest, HeadlessRefusedClockIsReportedAndFails) {
    tree.AddTnt(1, 0, 0, 0xE0000000);
    const uint32_t mem = Word(kMemPllOffset);
    const uint32_t core = Word(kCorePllOffset);
    const ProgramResult r = Run({"RIVA_TNT", "400", "100"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err,
              "tarvento: Frequency out of range !\n"
              "tarvento: Mem Clock 400 MHz is outside RIVA_TNT's 80..145 MHz; nothing was written\n");
    EXPECT_EQ(Word(kMemPllOffset), mem) << "a refused clock is not written";
    EXPECT_EQ(Word(kCorePllOffset), core) << "nor the other one of a refused pair";
}

TEST_F(ProgramTest, HeadlessStartThatIsNotUnattendedTouchesNothing) {
    tree.AddTnt(1, 0, 0, 0xE0000000);
    const std::vector<char> before = tree.FileBytes(Resource0());
    for (const std::vector<std::string>& args :
         std::vector<std::vector<std::string>>{{}, {"RIVA_TNT"}, {"RIVA_TNT", "100"}}) {
        const ProgramResult r = Run(args);
        EXPECT_EQ(r.status, 2);
        EXPECT_NE(r.err.find("graphical session"), std::string::npos) << r.err;
        EXPECT_NE(r.err.find("--info"), std::string::npos);
    }
    EXPECT_EQ(tree.FileBytes(Resource0()), before);
    EXPECT_FALSE(fs::exists(config / "autostart" / "Tarvo.desktop"));
}

TEST_F(ProgramTest, UnattendedStartUnderXShowsTheNoticeAndEndsByItself) {
    const fs::path ui =
        fs::path(TARVENTO_PROGRAM).parent_path() / "../lib/tarvento/libtarvento_ui.so";
    if (!fs::exists(ui)) GTEST_SKIP() << "built without the window library";
    PrivateXServer x;
    if (x.Display().empty()) GTEST_SKIP() << "Xvfb is not available";
    tree.AddTnt(1, 0, 0, 0xE0000000);
    const uint32_t strap = Word(kStrapOffset);
    const uint32_t mem = Word(kMemPllOffset);
    const uint32_t core = Word(kCorePllOffset);

    // Under the leak checker, the libraries Qt brings keep allocations of their own.
    const std::string lsan = "suppressions=" TARVENTO_TEST_DATA_DIR "/sanitizers/lsan.supp";
    const ProgramResult r =
        Run({"RIVA_TNT", "115", "95"}, {{"DISPLAY", x.Display()}, {"LSAN_OPTIONS", lsan}}, 15);
    ASSERT_FALSE(r.timedOut) << "the program did not end by itself";
    EXPECT_EQ(r.status, 0) << r.err;
    // The notice stays for its three 500 ms ticks, then everything closes.
    EXPECT_GT(r.seconds, 1.2);
    EXPECT_LT(r.seconds, 3.5);
    EXPECT_EQ(Word(kMemPllOffset), PllWithN(mem, *TntMemN(115, mem, strap)));
    EXPECT_EQ(Word(kCorePllOffset), PllWithN(core, *TntChipN(95, core, strap)));
}

TEST_F(ProgramTest, MissingWindowLibraryGivesAClearError) {
    // A copy of the program whose folder has the core library but no window library.
    const fs::path home = tree.Root() / "install";
    fs::create_directories(home / "bin");
    fs::create_directories(home / "lib" / "tarvento");
    const fs::path built = fs::path(TARVENTO_PROGRAM).parent_path().parent_path();
    fs::copy_file(TARVENTO_PROGRAM, home / "bin" / "tarvento");
    fs::copy_file(built / "lib" / "tarvento" / "libtarvento_core.so",
                  home / "lib" / "tarvento" / "libtarvento_core.so");
    tree.AddTnt(1, 0, 0, 0xE0000000);

    const ProgramResult r = RunProgram((home / "bin" / "tarvento").string(), {},
                                       {{"TARVENTO_SYSFS_ROOT", tree.RootString()},
                                        {"XDG_CONFIG_DIRS", config.string()},
                                        {"XDG_CONFIG_HOME", configHome.string()},
                                        {"QT_QPA_PLATFORM", "offscreen"}});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("no window can be shown: cannot load the window library"),
              std::string::npos) << r.err;
}

}  // namespace
}  // namespace tarvento::testing
