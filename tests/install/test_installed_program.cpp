// SPDX-License-Identifier: GPL-3.0-or-later
// The staged install of the build tree, run as a user who is not root on a virtual card
// whose registers belong to a group, as the udev rule leaves a real card: in the group
// everything works, outside it every path fails plainly and writes nothing, and a copy
// of the program carrying file capabilities refuses to run at all.

#include <linux/capability.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <string>

#include <gtest/gtest.h>

#include "chip/clock_formulas.h"
#include "chip/registers.h"
#include "tests/install/install_support.h"
#include "tests/robust/robust_support.h"

namespace tarvento::testing {
namespace {

namespace fs = std::filesystem;

// The card's group, by number: the machine's /etc/group is never edited for a test.
constexpr gid_t kCardGroup = 61111;

class InstalledProgram : public ::testing::Test {
protected:
    StagedInstall install;
    VirtualTree tree;
    TempFolder home{0755};  // nobody's HOME and runtime folder, outside the checked tree
    TreeSnapshot before;

    void SetUp() override {
        if (::geteuid() != 0) GTEST_SKIP() << "acting as another user needs root";
        if (FindTool("setpriv").empty()) GTEST_SKIP() << "setpriv is not installed";
        InstallBuildTree(install);
        ASSERT_EQ(install.result.status, 0) << install.result.out << install.result.err;
        ASSERT_TRUE(fs::exists(install.Program()));

        tree.AddTnt(1, 0, 0, 0xE0000000);
        // What a normal user is answered on a real machine: the standard header alone.
        fs::resize_file(tree.SlotDir(1, 0, 0) / "config", 64);
        fs::create_directories(tree.Root() / "xdg-home");
        fs::create_directories(tree.Root() / "xdg");
        OpenToEveryone(tree.Root());
        ASSERT_EQ(::chown(Resource0().c_str(), 0, kCardGroup), 0);
        ASSERT_EQ(::chmod(Resource0().c_str(), 0660), 0);
        ASSERT_EQ(::chown(home.Path().c_str(), 65534, 65534), 0);
        ::chmod(home.Path().c_str(), 0700);
        before = SnapshotTree(tree.Root());
    }

    fs::path Resource0() const { return tree.SlotDir(1, 0, 0) / "resource0"; }
    uint32_t Word(uint32_t offset) const { return tree.FileWord(Resource0(), offset); }

    // Headless unless `window`, which uses Qt's offscreen platform.
    ProgramResult Run(const fs::path& program, const std::vector<std::string>& args,
                      std::optional<gid_t> group, bool window = false, double limit = 20,
                      const fs::path& groupFile = {}) {
        std::map<std::string, std::string> set = {
            {"TARVENTO_SYSFS_ROOT", tree.RootString()},
            {"XDG_CONFIG_HOME", (tree.Root() / "xdg-home").string()},
            {"XDG_CONFIG_DIRS", (tree.Root() / "xdg").string()},
            {"HOME", home.Path().string()},
            {"XDG_RUNTIME_DIR", home.Path().string()}};
        std::vector<std::string> unset = {"DISPLAY", "WAYLAND_DISPLAY"};
        if (window) {
            set["QT_QPA_PLATFORM"] = "offscreen";
        } else {
            unset.push_back("QT_QPA_PLATFORM");
        }
        return RunAsNobody(program.string(), args, set, unset, group, limit, groupFile);
    }

    void ExpectNothingWritten() {
        const TreeSnapshot after = SnapshotTree(tree.Root());
        EXPECT_TRUE(after == before) << DescribeChanges(before, after);
    }
};

// Every line of standard error is the program's own, prefixed message.
void ExpectOwnMessages(const std::string& err) {
    EXPECT_FALSE(err.empty()) << "a failure that says nothing";
    for (const std::string& line : Lines(err)) EXPECT_EQ(line.rfind("tarvento: ", 0), 0u) << err;
}

// What a path on the machine is now: absent, or its inode and change time.
std::string MachineState(const fs::path& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) return "absent";
    return std::to_string(st.st_ino) + "@" + std::to_string(st.st_ctim.tv_sec) + "." +
           std::to_string(st.st_ctim.tv_nsec);
}

TEST_F(InstalledProgram, StagedInstallWritesOnlyUnderDestdir) {
    // The manifest names each file as it would be on the machine. Install again, into
    // another folder, and check that none of those machine paths (nor the group files that
    // creating the group would change) was touched, and that each landed under DESTDIR.
    std::vector<std::string> installed;
    {
        std::ifstream manifest(install.Manifest());
        for (std::string line; std::getline(manifest, line);) installed.push_back(line);
    }
    ASSERT_FALSE(installed.empty()) << "no install manifest";
    std::vector<std::string> watched = installed;
    watched.insert(watched.end(), {"/etc/group", "/etc/gshadow"});
    std::map<std::string, std::string> machine;
    for (const std::string& path : watched) machine[path] = MachineState(path);

    StagedInstall again;
    InstallBuildTree(again);
    ASSERT_EQ(again.result.status, 0) << again.result.out << again.result.err;
    for (const std::string& path : watched) EXPECT_EQ(MachineState(path), machine[path]) << path;
    for (const std::string& path : installed) {
        ASSERT_EQ(path.rfind('/', 0), 0u) << path;
        EXPECT_TRUE(fs::exists(again.Destdir() / path.substr(1))) << path;
    }

    // The rule and the group file go where udev and systemd-sysusers read them, whatever
    // the prefix; the program under the prefix.
    EXPECT_TRUE(fs::is_regular_file(install.Destdir() / std::string(TARVENTO_UDEV_RULES_DIR "/70-tarvento.rules").substr(1)));
    EXPECT_TRUE(fs::is_regular_file(install.Destdir() / std::string(TARVENTO_SYSUSERS_DIR "/tarvento.conf").substr(1)));
    EXPECT_TRUE(fs::is_regular_file(install.Libraries() / "libtarvento_core.so"));

    // Nothing granted: no file capabilities, no setuid or setgid bit.
    for (const auto& e : fs::recursive_directory_iterator(install.Destdir())) {
        struct stat st {};
        ASSERT_EQ(::lstat(e.path().c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & (S_ISUID | S_ISGID), 0u) << e.path();
        if (S_ISREG(st.st_mode)) {
            EXPECT_LT(::getxattr(e.path().c_str(), "security.capability", nullptr, 0), 0) << e.path();
        }
    }
}

TEST_F(InstalledProgram, InTheGroupInfoUnattendedStartAndWindowWork) {
    const ProgramResult info = Run(install.Program(), {"--info"}, kCardGroup);
    EXPECT_EQ(info.status, 0) << info.err;
    EXPECT_EQ(info.out.rfind("Chipset: RIVA_TNT\nMem Clock: 110 MHz\nChip Clock: 90 MHz\n", 0), 0u)
        << info.out;
    ExpectNothingWritten();

    const uint32_t strap = Word(kStrapOffset);
    const uint32_t mem = Word(kMemPllOffset);
    const uint32_t core = Word(kCorePllOffset);
    std::vector<char> expected = tree.FileBytes(Resource0());
    const ProgramResult start = Run(install.Program(), {"RIVA_TNT", "120", "100"}, kCardGroup);
    EXPECT_EQ(start.status, 0) << start.err;
    const uint32_t newMem = PllWithN(mem, *TntMemN(120, mem, strap));
    const uint32_t newCore = PllWithN(core, *TntChipN(100, core, strap));
    EXPECT_EQ(Word(kMemPllOffset), newMem);
    EXPECT_EQ(Word(kCorePllOffset), newCore);
    std::memcpy(&expected[kMemPllOffset], &newMem, 4);
    std::memcpy(&expected[kCorePllOffset], &newCore, 4);
    EXPECT_TRUE(tree.FileBytes(Resource0()) == expected) << "a byte changed outside the PLLs";

    // The window: the unattended start shows its notice and ends by itself.
    const ProgramResult window = Run(install.Program(), {"RIVA_TNT", "115", "95"}, kCardGroup, true, 15);
    ASSERT_FALSE(window.timedOut) << "the window did not end by itself";
    EXPECT_EQ(window.status, 0) << window.err;
    EXPECT_EQ(Word(kMemPllOffset), PllWithN(mem, *TntMemN(115, mem, strap)));
    EXPECT_EQ(Word(kCorePllOffset), PllWithN(core, *TntChipN(95, core, strap)));
}

TEST_F(InstalledProgram, OutsideTheGroupEveryPathSaysWhyAndWritesNothing) {
    if (!CanStageGroupDatabase())
        GTEST_SKIP() << "no private mount namespace to stage the group in: " << WhyNoPrivateMounts();
    // The group tarvento as the test stages it, whatever this machine has: missing (the
    // package is not installed), or the card's, without nobody in it.
    const fs::path groups = home.Path() / "group";
    const struct {
        const char* what;
        std::optional<StagedGroup> group;
        const char* reason;
    } machines[] = {
        {"no group tarvento", std::nullopt,
         "the group tarvento does not exist: the program's udev rule is not installed"},
        {"the card's group is tarvento", StagedGroup{kCardGroup, ""},
         "you are not in the group tarvento, which may reach the card's registers"},
    };
    for (const auto& machine : machines) {
        SCOPED_TRACE(machine.what);
        ASSERT_TRUE(WriteGroupDatabase(groups, machine.group));
        // No supplementary group at all, and a group that is not the card's.
        for (const std::optional<gid_t> group : {std::optional<gid_t>(), std::optional<gid_t>(kCardGroup + 1)}) {
            SCOPED_TRACE(group ? "in another group" : "in no group");
            const ProgramResult info = Run(install.Program(), {"--info"}, group, false, 20, groups);
            EXPECT_EQ(info.status, 1) << info.err;
            EXPECT_EQ(info.out.rfind("Chipset: Unknown\n", 0), 0u) << info.out;
            ExpectOwnMessages(info.err);
            EXPECT_NE(info.err.find(machine.reason), std::string::npos) << info.err;

            const ProgramResult start = Run(install.Program(), {"RIVA_TNT", "120", "100"}, group, false, 20, groups);
            EXPECT_EQ(start.status, 1) << start.err;
            EXPECT_NE(start.err.find("tarvento: PCI/AGP access failed !\ntarvento: " + std::string(machine.reason)),
                      std::string::npos) << start.err;
            ExpectOwnMessages(start.err);

            // The window says it in a box that waits for the user: it must not end as a success.
            const ProgramResult window = Run(install.Program(), {"RIVA_TNT", "120", "100"}, group, true, 4, groups);
            EXPECT_TRUE(window.timedOut || window.status != 0) << window.err;
            ExpectNothingWritten();
        }
    }
}

TEST_F(InstalledProgram, ACopyWithFileCapabilitiesRefusesToRun) {
    const std::string setcap = FindTool("setcap");
    const std::string patchelf = FindTool("patchelf");
    if (setcap.empty() || patchelf.empty()) GTEST_SKIP() << "needs setcap and patchelf";
    if (::prctl(PR_CAPBSET_READ, CAP_SYS_ADMIN, 0, 0, 0) != 1)
        GTEST_SKIP() << "CAP_SYS_ADMIN is not in this machine's bounding set";
    struct statvfs fsInfo {};
    ASSERT_EQ(::statvfs(install.stage.Path().c_str(), &fsInfo), 0);
    if (fsInfo.f_flag & ST_NOSUID)
        GTEST_SKIP() << "the temporary folder is mounted nosuid: file capabilities do nothing there";

    // The loader ignores $ORIGIN in secure-execution mode: the copy names its libraries by
    // their absolute folder, so that it loads and it is the program itself that refuses.
    const fs::path copy = install.stage.Path() / "capped-tarvento";
    fs::copy_file(install.Program(), copy);
    const ProgramResult patched = RunProgram(patchelf, {"--set-rpath", install.Libraries().string(), copy.string()}, {});
    ASSERT_EQ(patched.status, 0) << patched.err;
    const ProgramResult plain = Run(copy, {"--info"}, kCardGroup);
    ASSERT_EQ(plain.status, 0) << "the copy does not run even without capabilities: " << plain.err;

    const ProgramResult granted = RunProgram(setcap, {"cap_sys_admin+ep", copy.string()}, {});
    if (granted.status != 0) GTEST_SKIP() << "cannot set file capabilities here: " << granted.err;

    const std::vector<std::vector<std::string>> starts = {
        {"--info"}, {"RIVA_TNT", "120", "100"}, {"--version"}, {}};
    for (const auto& args : starts) {
        for (const bool window : {false, true}) {
            const ProgramResult r = Run(copy, args, kCardGroup, window, 10);
            EXPECT_EQ(r.status, 1) << r.err;
            EXPECT_EQ(r.out, "");
            const std::vector<std::string> lines = Lines(r.err);
            ASSERT_EQ(lines.size(), 1u) << r.err;
            EXPECT_EQ(lines[0].rfind("tarvento: refusing to run", 0), 0u) << r.err;
            EXPECT_NE(lines[0].find("join the group tarvento"), std::string::npos) << r.err;
        }
    }
    ExpectNothingWritten();
}

}  // namespace
}  // namespace tarvento::testing
