// SPDX-License-Identifier: GPL-3.0-or-later
// The clocks kept without a window, run as the services run them: as a user who is not
// root, whose one right is the card's group. Root only stores the boot clocks. Each case is
// a little session on a virtual card (a TNT unless it says), across boots (a new boot id),
// sleeps (words that change while the machine sleeps) and kernel command lines.
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "chip/registers.h"
#include "tests/install/install_support.h"
#include "tests/robust/robust_support.h"
#include "tests/support/virtual_tree.h"

namespace tarvento::testing {
namespace {

namespace fs = std::filesystem;

constexpr gid_t kCardGroup = 61112;  // by number: /etc/group is never edited for a test
constexpr uid_t kNobody = 65534;
constexpr uint32_t kMem120 = 0x0001C90C, kCore100 = 0x0001A70C;      // 120 / 100 MHz

// One step of a session:
//   "boot ID"              the machine starts again: a new boot id, the card at its stock words
//   "cmdline TEXT"         the kernel command line from now on
//   "words MEM CORE"       the card's PLL words change (a firmware at resume)
//   "record TEXT"          the boot service's record holds TEXT (\n for new lines)
//   "firmware TEXT"        the record of the firmware's clocks holds TEXT
//   "root ARGS => S: TXT"  root runs the program: exit status S, TXT on its output or errors
//                          ("TXT but not OTHER": and OTHER nowhere)
//   "user ARGS => S: TXT"  the service's user (nobody in the card's group) does
//   "outsider ARGS => ..." nobody without the group does
//   "select WORD"          the card's PLL select word changes (a driver's mode set, a reset)
//   "expect MEM CORE"      the card holds these words
struct Session {
    const char* name;
    std::vector<std::string> steps;
    int survivalSeconds = 0;  // how long an apply's watch waits before it says "survived"
    const char* chip = "RIVA_TNT";  // the virtual card's chip, at its stock words
};

void PrintTo(const Session& session, std::ostream* os) { *os << session.name; }

const Session kSessions[] = {
    {"boot clocks are checked like a start, stored by root, applied by the service's user",
     {"root --boot-clocks RIVA_128 120 100 => 1: wrong Chipset in ComandLine !",
      "root --boot-clocks RIVA_TNT 500 100 => 1: Frequency out of range !",
      "root --boot-clocks RIVA_TNT 120 => 2: takes a chip name and two clocks",
      "root --boot-clocks RIVA_TNT 120 100MHz => 1: Error in ComandLine !",
      "expect 0001B80C 0001960C",
      "user --info => 0: Boot clocks: off",
      "root --boot-clocks RIVA_TNT 120 100 => 0: Boot clocks: RIVA_TNT, Mem Clock 120 MHz, Chip Clock 100 MHz",
      "expect 0001B80C 0001960C",
      "user --apply-boot-clocks => 0: Chipset: RIVA_TNT",
      "expect 0001C90C 0001A70C",
      "user --info => 0: Boot clocks: RIVA_TNT, Mem Clock 120 MHz, Chip Clock 100 MHz, applied at this boot",
      "user --info => 0: Last apply at boot: survived",
      "boot b2",
      "user --info => 0: not applied at this boot",
      "user --apply-boot-clocks => 0: Chipset: RIVA_TNT",
      "expect 0001C90C 0001A70C",
      "root --boot-clocks off => 0: Boot clocks: off",
      "boot b3",
      "user --apply-boot-clocks => 0: Boot clocks: off",
      "expect 0001B80C 0001960C"}},
    {"an apply that did not survive is not repeated until root sets the clocks again",
     {"root --boot-clocks RIVA_TNT 120 100 => 0: Boot clocks:",
      "record state=pending\\nboot=b0\\ntime=1796700000\\nchip=RIVA_TNT\\nmemory=120\\ncore=100",
      "user --info => 0: Last apply at boot: did not survive",
      "user --apply-boot-clocks => 1: the machine did not keep running",
      "expect 0001B80C 0001960C",
      "root --boot-clocks RIVA_TNT 120 100 => 0: Boot clocks:",
      "user --apply-boot-clocks => 0: Chipset: RIVA_TNT",
      "expect 0001C90C 0001A70C"}},
    {"the login entry's apply is guarded the same way",
     {"user RIVA_TNT 120 100 => 0: Chipset: RIVA_TNT",
      "expect 0001C90C 0001A70C",
      "user --info => 0: Last apply at login: pending",
      "boot b2",
      "user RIVA_TNT 120 100 => 1: untick and tick",
      "expect 0001B80C 0001960C",
      "user --info => 0: Last apply at login: did not survive"},
     30},
    {"tarvento.noapply stops every unattended apply of that boot, as the owner's choice",
     {"root --boot-clocks RIVA_TNT 120 100 => 0: Boot clocks:",
      "cmdline BOOT_IMAGE=/vmlinuz tarvento.noapply quiet",
      "user RIVA_TNT 120 100 => 0: tarvento.noapply",
      "user --apply-boot-clocks => 0: tarvento.noapply",
      "user --info => 0: Kernel command line: tarvento.noapply",
      "expect 0001B80C 0001960C",
      "cmdline quiet",
      "user --apply-boot-clocks => 0: Chipset: RIVA_TNT",
      "expect 0001C90C 0001A70C"}},
    {"across sleep the very words come back, and only when the card lost them",
     {"user RIVA_TNT 120 100 => 0: Chipset: RIVA_TNT",
      "user --before-sleep => 0: Saved before sleep: 0000:01:00.0 RIVA_TNT 0x0001C90C 0x0001A70C",
      "words 0001B80C 0001960C",
      "user --after-resume => 0: 0x0001B80C -> 0x0001C90C",
      "expect 0001C90C 0001A70C",
      "user --before-sleep => 0: Saved before sleep",
      "user --after-resume => 0: Clocks unchanged across sleep; nothing was written",
      "user --after-resume => 0: none were saved before sleep",
      "user --before-sleep => 0: Saved before sleep",
      "words FFFFFFFF FFFFFFFF",
      "user --after-resume => 1: nothing was written",
      "expect FFFFFFFF FFFFFFFF",
      "words 0001C90C 0001A70C",
      "user --before-sleep => 0: Saved before sleep",
      "words 0001B800 0001960C",
      "user --after-resume => 1: a word no clock setting makes; nothing was written",
      "expect 0001B800 0001960C"}},
    {"where a PLL runs from the chip's built-in clock no path writes anything, and each says why",
     {"root --boot-clocks RIVA_TNT 120 100 => 0: Boot clocks:",
      "select 00000000",
      "user RIVA_TNT 120 100 => 1: the memory PLL and the core PLL run from the chip's built-in clock",
      "user --apply-boot-clocks => 1: nouveau, the nv X driver and rivafb switch them to their programmed words when they set a display mode: let a driver set a display mode",
      "select 00000100",
      "user RIVA_TNT 120 100 => 1: the core PLL runs from the chip's built-in clock",
      "user --apply-boot-clocks => 1: bit 10 clear",
      "expect 0001B80C 0001960C",
      "user --info => 0: PLL select (0xE068050C): 0x00000100  memory PLL from its word (bit 8), core PLL",
      "user --info => 0: Last apply at login: none",
      "user --info => 0: Chip Clock 100 MHz, not applied at this boot",
      // A driver sets a mode: the same starts apply.
      "select 10000700",
      "user --apply-boot-clocks => 0: Chipset: RIVA_TNT",
      "expect 0001C90C 0001A70C",
      "user --before-sleep => 0: Saved before sleep",
      // The machine wakes with the firmware's words and the select word of a reset.
      "words 0001B80C 0001960C",
      "select 00000000",
      "user --after-resume => 1: the clocks were not restored after resume: the memory PLL and the core "
      "PLL but not Restored after resume",
      "expect 0001B80C 0001960C",
      "select 00000500",
      "user --before-sleep => 0: Saved before sleep",
      "words 0001C90C 0001960C",
      "select 00000400",
      "user --after-resume => 1: the memory PLL runs from the chip's built-in clock",
      "expect 0001C90C 0001960C",
      "select 00000100",
      "user --before-sleep => 0: Saved before sleep",
      "words 0001C90C 0001A70C",
      "user --after-resume => 1: the core PLL runs from the chip's built-in clock",
      "expect 0001C90C 0001A70C"}},
    {"the boot service records the firmware's words once a boot, and --reset puts them back",
     {"user --info => 0: Firmware clocks: none recorded",
      "user --reset => 1: there is no record of the card's firmware clocks from this boot",
      "user --apply-boot-clocks => 0: Firmware clocks recorded: 0000:01:00.0 RIVA_TNT 0x0001B80C 0x0001960C",
      "user --info => 0: Firmware clocks: Mem Clock 110 MHz, Chip Clock 90 MHz (PLL words 0x0001B80C "
      "0x0001960C), recorded at this boot for 0000:01:00.0, 10DE:0020; tarvento --reset puts them back",
      "root --boot-clocks RIVA_TNT 120 100 => 0: Boot clocks:",
      // A later bind in the same boot keeps the firmware's words, not the applied ones.
      "user --apply-boot-clocks => 0: recorded at this boot already: 0x0001B80C 0x0001960C",
      "expect 0001C90C 0001A70C",
      "user --try RIVA_TNT 130 110 5 => 3: No answer within 5 s: the card is back at Mem Clock 120 MHz",
      "user --dry-run RIVA_TNT 110 90 => 0: Would write memory PLL (offset 0x00680504): 0x0001C90C -> 0x0001B80C",
      "user --dry-run RIVA_TNT 110 1 => 1: Chip Clock 1 MHz is outside RIVA_TNT's 80..130 MHz",
      "expect 0001C90C 0001A70C",
      "outsider --reset => 1: PCI/AGP access failed !",
      "select 00000400",
      "user --reset => 1: PCI/AGP access failed !",
      "expect 0001C90C 0001A70C",
      "select 10000700",
      "user --reset => 0: PLL at offset 0x00680500 0x0001A70C -> 0x0001960C",
      "expect 0001B80C 0001960C",
      "user --reset => 0: The card has its firmware clocks; nothing was written",
      "user --info => 0: Last apply at boot: survived",
      "boot b2",
      "user RIVA_TNT 120 100 => 0: Chipset: RIVA_TNT",
      "user --reset => 1: from an earlier boot",
      "firmware slot 0000:02:00.0\\nids 10DE:0020\\nboot b2\\npll 0x00680504 0x0001B80C\\npll 0x00680500 0x0001960C",
      "user --reset => 1: another card's (0000:02:00.0, 10DE:0020), not those of 0000:01:00.0, 10DE:0020",
      "firmware slot 0000:01:00.0\\nids 10DE:0020\\nboot b2\\npll 0x00680504 0x0001B800\\npll 0x00680500 0x0001960C",
      "user --reset => 1: a word no clock setting makes",
      "expect 0001C90C 0001A70C"}},
    {"outside the group nothing is reached and nothing is written",
     {"root --boot-clocks RIVA_TNT 120 100 => 0: Boot clocks:",
      "outsider --apply-boot-clocks => 1: PCI/AGP access failed !",
      "outsider RIVA_TNT 120 100 => 1: PCI/AGP access failed !",
      "outsider --before-sleep => 0: No clocks saved before sleep",
      "user --before-sleep => 0: Saved before sleep",
      "words 0001B80C 00019600",
      "outsider --after-resume => 1: nothing was written",
      "expect 0001B80C 00019600"}},
    {"a TNT2 is kept as a TNT is, by its words, also where a set chose another M",
     {"root --boot-clocks RIVA_TNT 120 100 => 1: wrong Chipset in ComandLine !",
      "root --boot-clocks RIVA_TNT2 1000 150 => 1: Frequency out of range !",
      "user --info => 0: Boot clocks: off",
      "root --boot-clocks RIVA_TNT2 183 150 => 0: Boot clocks: RIVA_TNT2, Mem Clock 183 MHz, Chip Clock 150 MHz",
      "expect 0000880D 0001E30D",
      "user --apply-boot-clocks => 0: Chipset: RIVA_TNT2",
      "expect 0000A60D 0001FB0C",
      "user --info => 0: Mem Clock: 183 MHz\nChip Clock: 150 MHz",
      "user --before-sleep => 0: Saved before sleep: 0000:01:00.0 RIVA_TNT2 0x0000A60D 0x0001FB0C",
      "words 0000880D 0001E30D",
      "user --after-resume => 0: 0x0001E30D -> 0x0001FB0C",
      "expect 0000A60D 0001FB0C",
      "user RIVA_TNT2 160 130 => 0: Chipset: RIVA_TNT2",
      "expect 0000910D 0001DA0C",
      "boot b2",
      "user --apply-boot-clocks => 0: Chipset: RIVA_TNT2",
      "expect 0000A60D 0001FB0C",
      "outsider TNT2_ULTRA 183 150 => 1: PCI/AGP access failed !",
      "expect 0000A60D 0001FB0C"},
     0,
     "RIVA_TNT2"},
};

class KeepingClocks : public ::testing::TestWithParam<Session> {
protected:
    VirtualTree tree;
    TempFolder home{0755};  // nobody's HOME and XDG_STATE_HOME
    fs::path machine = tree.Root() / "machine";  // TARVENTO_MACHINE_ROOT

    fs::path Resource0() const { return tree.SlotDir(1, 0, 0) / "resource0"; }

    void SetUp() override {
        if (::geteuid() != 0) GTEST_SKIP() << "acting as another user needs root";
        if (FindTool("setpriv").empty()) GTEST_SKIP() << "setpriv is not installed";
        virtualcard::VirtualCard card = *virtualcard::StockCard(GetParam().chip);
        card.bar0 = 0xE0000000;
        tree.Add(card);
        stockMem_ = card.memPll;
        stockCore_ = card.corePll;
        fs::resize_file(tree.SlotDir(1, 0, 0) / "config", 64);
        // The folders systemd gives the services (StateDirectory=, RuntimeDirectory=) belong
        // to their user; /etc is root's.
        for (const char* folder : {"var/lib/tarvento", "run/tarvento-sleep", "etc",
                                   "proc/sys/kernel/random"})
            fs::create_directories(machine / folder);
        OpenToEveryone(tree.Root());
        ASSERT_EQ(::chown(Resource0().c_str(), 0, kCardGroup), 0);
        ASSERT_EQ(::chmod(Resource0().c_str(), 0660), 0);
        for (const char* folder : {"var/lib/tarvento", "run/tarvento-sleep"})
            ASSERT_EQ(::chown((machine / folder).c_str(), kNobody, kCardGroup), 0);
        ASSERT_EQ(::chown(home.Path().c_str(), kNobody, kNobody), 0);
        Write(machine / "proc/sys/kernel/random/boot_id", "b1\n");
        Write(machine / "proc/cmdline", "BOOT_IMAGE=/vmlinuz quiet\n");
    }

    static void Write(const fs::path& path, const std::string& text) { std::ofstream(path) << text; }

    ProgramResult Run(const std::string& who, const std::vector<std::string>& args) {
        const std::map<std::string, std::string> set = {
            {"TARVENTO_SYSFS_ROOT", tree.RootString()},
            {"TARVENTO_MACHINE_ROOT", machine.string()},
            {"XDG_CONFIG_HOME", (home.Path() / "config").string()},
            {"XDG_CONFIG_DIRS", (home.Path() / "xdg").string()},
            {"XDG_STATE_HOME", (home.Path() / "state").string()},
            {"HOME", home.Path().string()},
            {"TARVENTO_SURVIVAL_SECONDS", std::to_string(GetParam().survivalSeconds)}};
        const std::vector<std::string> unset = {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM",
                                                "STATE_DIRECTORY", "RUNTIME_DIRECTORY"};
        if (who == "root") return RunProgram(TARVENTO_PROGRAM, args, set, unset);
        const std::optional<gid_t> group =
            who == "user" ? std::optional<gid_t>(kCardGroup) : std::nullopt;
        return RunAsNobody(StagedProgram().string(), args, set, unset, group);
    }

    uint32_t stockMem_ = 0, stockCore_ = 0;

    void SetWords(uint32_t mem, uint32_t core) {
        tree.SetFileWord(Resource0(), kMemPllOffset, mem);
        tree.SetFileWord(Resource0(), kCorePllOffset, core);
    }
};

uint32_t Hex(const std::string& text) { return static_cast<uint32_t>(std::stoul(text, nullptr, 16)); }

TEST_P(KeepingClocks, Session) {
    uint32_t select = tree.FileWord(Resource0(), kPllSelectOffset);
    for (const std::string& step : GetParam().steps) {
        SCOPED_TRACE(step);
        std::istringstream in(step);
        std::string verb;
        in >> verb;
        std::string rest;
        std::getline(in >> std::ws, rest);
        if (verb == "boot") {
            Write(machine / "proc/sys/kernel/random/boot_id", rest + "\n");
            SetWords(stockMem_, stockCore_);
        } else if (verb == "select") {
            select = Hex(rest);
            tree.SetFileWord(Resource0(), kPllSelectOffset, select);
        } else if (verb == "cmdline") {
            Write(machine / "proc/cmdline", rest + "\n");
        } else if (verb == "words" || verb == "expect") {
            std::istringstream words(rest);
            std::string mem, core;
            words >> mem >> core;
            if (verb == "words") {
                SetWords(Hex(mem), Hex(core));
            } else {
                EXPECT_EQ(tree.FileWord(Resource0(), kMemPllOffset), Hex(mem)) << "memory PLL";
                EXPECT_EQ(tree.FileWord(Resource0(), kCorePllOffset), Hex(core)) << "core PLL";
                EXPECT_EQ(tree.FileWord(Resource0(), kPllSelectOffset), select) << "no path writes the select word";
            }
        } else if (verb == "record" || verb == "firmware") {
            std::string text = rest;
            for (std::size_t at; (at = text.find("\\n")) != std::string::npos;) text.replace(at, 2, "\n");
            Write(machine / (verb == "record" ? "var/lib/tarvento/last-apply" : "var/lib/tarvento/firmware-clocks"),
                  text + "\n");
        } else {
            const std::size_t arrow = rest.find(" => ");
            ASSERT_NE(arrow, std::string::npos);
            std::istringstream args(rest.substr(0, arrow));
            std::vector<std::string> argv;
            for (std::string a; args >> a;) argv.push_back(a);
            const std::string expected = rest.substr(arrow + 4);
            const int status = std::stoi(expected.substr(0, expected.find(':')));
            const std::string text = expected.substr(expected.find(':') + 2);
            const ProgramResult r = Run(verb, argv);
            EXPECT_EQ(r.status, status) << r.out << r.err;
            // "TEXT" must be there; after " but not ", what must not.
            const std::size_t but = text.find(" but not ");
            EXPECT_NE((r.out + r.err).find(text.substr(0, but)), std::string::npos) << r.out << r.err;
            if (but != std::string::npos) {
                EXPECT_EQ((r.out + r.err).find(text.substr(but + 9)), std::string::npos) << r.out << r.err;
            }
        }
    }
    // Root stored the boot clocks for everyone to read; the service its records.
    for (const char* file : {"etc/tarvento/boot-clocks", "var/lib/tarvento/firmware-clocks"}) {
        if (fs::exists(machine / file)) {
            EXPECT_EQ(fs::status(machine / file).permissions() & fs::perms::all, fs::perms(0644)) << file;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(AsTheServicesRunIt, KeepingClocks, ::testing::ValuesIn(kSessions),
                         [](const ::testing::TestParamInfo<Session>& info) {
                             return "Session" + std::to_string(info.index);
                         });

}  // namespace
}  // namespace tarvento::testing
