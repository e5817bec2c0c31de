// SPDX-License-Identifier: GPL-3.0-or-later
// A user who is not root on a card whose resource0 the udev rule gave the group tarvento:
// the kernel answers that user 64 bytes of config and lets a member of the group map the
// registers. Every path works for a member; for anyone else it says why and writes
// nothing. Group membership is given by number (setpriv --groups); where the group's
// name matters, the run happens in a private mount namespace with a copy of /etc/group
// bind-mounted over it, whose group tarvento is the one the test stages (or none), so that
// neither the machine's own file is touched nor its group tarvento, if it has one, counts.

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "chip/clock_formulas.h"
#include "chip/registers.h"
#include "tests/robust/robust_support.h"
#include "tests/support/card_constants.h"

namespace tarvento::testing {
namespace {

namespace fs = std::filesystem;

// Stands for the group tarvento: a gid no group of this machine has.
const gid_t kGroup = UnusedGid(4242);

// Who runs the program: nobody, with or without the group, and what /etc/group says.
struct Login {
    bool holdsGroup = false;       // this login has the group (setpriv --groups)
    std::string groupFile{};       // a group database to see instead of the machine's
    bool headerOnlyConfig = true;  // config files answer 64 bytes, as to any normal user
};

class RegisterGroup : public TreeTest {
protected:
    fs::path resource0 = Dir(1) / "resource0";
    fs::path groups = tree.Root() / "group";

    void SetUp() override {
        if (::geteuid() != 0 || ::access("/usr/bin/setpriv", X_OK) != 0)
            GTEST_SKIP() << "needs root and setpriv to run the program as another user";
        tree.AddTnt(1, 0, 0, kBase);
        OpenToEveryone(tree.Root());
        GiveResource0(kGroup, 0660);
    }

    // What the udev rule does to a supported card's registers.
    void GiveResource0(gid_t gid, mode_t mode) {
        ASSERT_EQ(::chown(resource0.c_str(), 0, gid), 0);
        ASSERT_EQ(::chmod(resource0.c_str(), mode), 0);
    }

    // The machine's group database with the group tarvento as the test stages it: kGroup
    // with these members, or (nullopt) no such group at all.
    std::string GroupFileWith(const std::optional<std::string>& members) {
        EXPECT_TRUE(WriteGroupDatabase(groups, members ? std::optional<StagedGroup>({kGroup, *members})
                                                       : std::nullopt));
        return groups.string();
    }

    ProgramResult RunAs(const Login& who, const std::vector<std::string>& args,
                        std::map<std::string, std::string> set = {},
                        std::vector<std::string> unset = kDisplayVariables) {
        std::vector<std::string> command = {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534"};
        command.push_back(who.holdsGroup ? "--groups=" + std::to_string(kGroup) : "--clear-groups");
        command.push_back(StagedProgram().string());
        command.insert(command.end(), args.begin(), args.end());
        if (!who.groupFile.empty()) command = SeeingGroupDatabase(who.groupFile, command);
        const std::string program = command.front();
        command.erase(command.begin());
        set["TARVENTO_SYSFS_ROOT"] = tree.RootString();
        set["XDG_CONFIG_DIRS"] = xdg.string();
        set["XDG_CONFIG_HOME"] = (xdg / "home").string();
        if (who.headerOnlyConfig) {
            set["LD_PRELOAD"] = StagedFile(TARVENTO_CONFIG_HEADER_ONLY).string();
            set["TARVENTO_HEADER_ONLY_ROOT"] = tree.RootString();
            // The shim is no sanitized library; a sanitized program takes it all the same.
            const char* asan = std::getenv("ASAN_OPTIONS");
            set["ASAN_OPTIONS"] = std::string(asan != nullptr ? asan : "") + ":verify_asan_link_order=0";
        }
        return RunProgram(program, command, set, unset);
    }

    std::pair<uint32_t, uint32_t> PllWords() const {
        return {tree.FileWord(resource0, kMemPllOffset), tree.FileWord(resource0, kCorePllOffset)};
    }

    // --info and the unattended start both fail with `reason`, and nothing is written.
    void ExpectRefusedWith(const Login& who, const std::string& reason) {
        Freeze();
        const ProgramResult info = RunAs(who, {"--info"});
        EXPECT_EQ(info.status, 1) << info.err;
        EXPECT_EQ(info.out.rfind("Chipset: Unknown\n", 0), 0u) << info.out;
        EXPECT_NE(info.err.find("tarvento: " + reason + "\n"), std::string::npos) << info.err;
        const ProgramResult start = RunAs(who, {"RIVA_TNT", "120", "100"});
        EXPECT_EQ(start.status, 1) << start.err;
        EXPECT_NE(start.err.find("tarvento: PCI/AGP access failed !\ntarvento: " + reason + "\n"),
                  std::string::npos) << start.err;
        EXPECT_EQ(start.err.find("CAP_"), std::string::npos) << start.err;
        ExpectNothingWritten();
    }
};

TEST_F(RegisterGroup, AMemberWorksEndToEndOnAHeaderOnlyConfig) {
    const Login member{true};
    // What the shim makes the kernel answer: 64 bytes of a config of full size.
    const ProgramResult probe = RunProgram("/usr/bin/env",
        {"LD_PRELOAD=" TARVENTO_CONFIG_HEADER_ONLY, "TARVENTO_HEADER_ONLY_ROOT=" + tree.RootString(),
         "/bin/sh", "-c", "cat \"$0\" | wc -c", (Dir(1) / "config").string()}, {});
    EXPECT_EQ(probe.out, "64\n") << probe.err;
    EXPECT_EQ(fs::file_size(Dir(1) / "config"), 256u);

    const ProgramResult info = RunAs(member, {"--info"});
    EXPECT_EQ(info.status, 0) << info.err;
    EXPECT_EQ(info.out.rfind("Chipset: RIVA_TNT\nMem Clock: 110 MHz\nChip Clock: 90 MHz\n", 0), 0u)
        << info.out;
    EXPECT_EQ(info.err, "");

    const ProgramResult start = RunAs(member, {"RIVA_TNT", "120", "100"});
    EXPECT_EQ(start.status, 0) << start.err;
    const uint32_t strap = tree.FileWord(resource0, kStrapOffset);
    EXPECT_EQ(TntMemClockFromPll(PllWords().first, strap), 120);
    EXPECT_EQ(TntChipClockFromPll(PllWords().second, strap), 100);

    // The window: an unattended start shows the notice and ends by itself.
    const ProgramResult window = RunAs(member, {"RIVA_TNT", "110", "90"}, {{"QT_QPA_PLATFORM", "offscreen"}},
                                       {"DISPLAY", "WAYLAND_DISPLAY"});
    EXPECT_EQ(window.status, 0) << window.err;
    EXPECT_EQ(TntMemClockFromPll(PllWords().first, strap), 110);
    EXPECT_EQ(TntChipClockFromPll(PllWords().second, strap), 90);
}

TEST_F(RegisterGroup, ASixtyFourByteConfigReadsTheSame) {
    fs::resize_file(Dir(1) / "config", 64);
    const ProgramResult info = RunAs({true, {}, false}, {"--info"});
    EXPECT_EQ(info.status, 0) << info.err;
    EXPECT_EQ(info.out.rfind("Chipset: RIVA_TNT\n", 0), 0u) << info.out;
}

TEST_F(RegisterGroup, EachReasonAUserMeets) {
    if (!CanStageGroupDatabase()) GTEST_SKIP() << WhyNoPrivateMounts();
    {
        SCOPED_TRACE("no group tarvento");
        ExpectRefusedWith({false, GroupFileWith(std::nullopt)},
                          "the group tarvento does not exist: the program's udev rule is not installed");
    }
    {
        SCOPED_TRACE("not in the group");
        ExpectRefusedWith({false, GroupFileWith("")},
                          "you are not in the group tarvento, which may reach the card's registers: "
                          "sudo usermod -aG tarvento $USER, then log in again");
    }
    {
        SCOPED_TRACE("in the group, but not this login");
        ExpectRefusedWith({false, GroupFileWith("daemon,nobody")},
                          "you are in the group tarvento, but this login is not yet: log out of every "
                          "session (a running user manager keeps the old groups) and log in again");
    }
    {
        SCOPED_TRACE("the rule did not run for this card");
        GiveResource0(0, 0600);
        ExpectRefusedWith({true, GroupFileWith("nobody")},
                          resource0.string() + " does not belong to the group tarvento: the udev rule "
                                               "did not run for this card");
    }
    {
        SCOPED_TRACE("group right, mode wrong");
        GiveResource0(kGroup, 0640);
        ExpectRefusedWith({true, GroupFileWith("nobody")},
                          resource0.string() + " belongs to the group tarvento, but its mode does not "
                                               "let the group read and write it");
    }
    // The same member with the rule's mode works: the reasons above were the only obstacle.
    GiveResource0(kGroup, 0660);
    const ProgramResult info = RunAs({true, GroupFileWith("nobody")}, {"--info"});
    EXPECT_EQ(info.status, 0) << info.err;
}

// Links inside the tree are refused where the kernel would never put one: the link's
// target is neither read nor written.
TEST_F(RegisterGroup, LinkedRegistersOrConfigAreRefused) {
    VirtualTree elsewhere;
    elsewhere.AddTnt(1, 0, 0, kBase);
    const fs::path target = elsewhere.SlotDir(1, 0, 0) / "resource0";
    ::chmod(elsewhere.Root().c_str(), 0755);
    for (const fs::path& p : {elsewhere.Root() / "devices", elsewhere.SlotDir(1, 0, 0)}) ::chmod(p.c_str(), 0755);
    ASSERT_EQ(::chmod(target.c_str(), 0666), 0);  // the user could write it, if the link were followed
    const auto targetBytes = elsewhere.FileBytes(target);
    fs::remove(resource0);
    fs::create_symlink(target, resource0);
    ExpectRefusedWith({true}, resource0.string() +
                                  " is a symbolic link; the program does not follow links to a card's "
                                  "registers");
    EXPECT_EQ(elsewhere.FileBytes(target), targetBytes);

    // A config that links to a FIFO would hang whoever opened it: it is not even opened.
    const fs::path fifo = elsewhere.Root() / "fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0666), 0);
    fs::remove(Dir(1) / "config");
    fs::create_symlink(fifo, Dir(1) / "config");
    Freeze();
    const ProgramResult info = RunAs({true}, {"--info"});
    EXPECT_FALSE(info.timedOut);
    EXPECT_EQ(info.status, 1) << info.err;
    EXPECT_NE(info.err.find("tarvento: cannot read the PCI configuration space of 0000:01:00.0: its "
                            "config is a symbolic link, which is not followed\n"),
              std::string::npos) << info.err;
    ExpectNothingWritten();
}

}  // namespace
}  // namespace tarvento::testing
