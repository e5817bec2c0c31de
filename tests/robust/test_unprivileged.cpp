// SPDX-License-Identifier: GPL-3.0-or-later
// The program as a user without privileges runs it: on the machine's own PCI bus and on
// a virtual card whose files that user cannot read. A plain message, an exit status that
// says it failed, and nothing written.

#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include <gtest/gtest.h>

#include "tests/robust/robust_support.h"

namespace tarvento::testing {
namespace {

namespace fs = std::filesystem;

// Every line of a program's standard error is its own, prefixed message.
void ExpectOwnMessagesOnly(const std::string& err) {
    EXPECT_FALSE(err.empty());
    size_t at = 0;
    while (at < err.size()) {
        EXPECT_EQ(err.compare(at, 10, "tarvento: "), 0) << err;
        const size_t end = err.find('\n', at);
        if (end == std::string::npos) break;
        at = end + 1;
    }
}

bool MachineHasVgaFunction(const fs::path& devices) {
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(devices, ec)) {
        std::ifstream cls(e.path() / "class");
        std::string text;
        if (std::getline(cls, text) && text.rfind("0x0300", 0) == 0) return true;
    }
    return false;
}

class Unprivileged : public TreeTest {
protected:
    void SetUp() override { OpenToEveryone(tree.Root()); }

    std::optional<ProgramResult> RunOnMachine(const std::vector<std::string>& args) {
        return RunProgramUnprivileged(args, {{"XDG_CONFIG_DIRS", xdg.string()},
                                             {"XDG_CONFIG_HOME", configHome.string()}},
                                      {"TARVENTO_SYSFS_ROOT", "DISPLAY", "WAYLAND_DISPLAY",
                                       "QT_QPA_PLATFORM"});
    }
    std::optional<ProgramResult> RunOnTree(const std::vector<std::string>& args) {
        return RunProgramUnprivileged(args, Environment(), kDisplayVariables, groupFile_);
    }

    // Runs on the tree see the machine's group database without its group tarvento, when
    // that can be arranged; false when it cannot.
    bool HideGroupTarvento() {
        if (!CanStageGroupDatabase()) return false;
        groupFile_ = tree.Root() / "group";
        return WriteGroupDatabase(groupFile_, std::nullopt);
    }

    // Takes every permission from `path` for the length of the test.
    void Lock(const fs::path& path) {
        locked_.push_back(path);
        ::chmod(path.c_str(), 0);
    }
    void TearDown() override {
        for (const fs::path& p : locked_) ::chmod(p.c_str(), fs::is_directory(p) ? 0755 : 0644);
    }

    // --info fails with `reason`, the unattended start fails too, and nothing changed.
    void ExpectRefusedWith(const std::string& reason) {
        Freeze();
        const std::optional<ProgramResult> info = RunOnTree({"--info"});
        if (!info) GTEST_SKIP() << "cannot run the program as an unprivileged user here";
        EXPECT_EQ(info->status, 1) << info->err;
        EXPECT_EQ(info->out.rfind("Chipset: Unknown\n", 0), 0u) << info->out;
        EXPECT_NE(info->err.find(reason), std::string::npos) << info->err;
        ExpectOwnMessagesOnly(info->err);

        const std::optional<ProgramResult> start = RunOnTree({"RIVA_TNT", "120", "100"});
        ASSERT_TRUE(start);
        EXPECT_EQ(start->status, 1) << start->err;
        EXPECT_NE(start->err.find("tarvento: PCI/AGP access failed !\n"), std::string::npos) << start->err;
        ExpectNothingWritten();
    }

private:
    std::vector<fs::path> locked_;
    fs::path groupFile_;  // seen as /etc/group by the runs on the tree, when set
};

TEST_F(Unprivileged, InfoAndUnattendedStartOnTheMachinesOwnBus) {
    const fs::path devices = "/sys/bus/pci/devices";
    if (!fs::exists(devices)) GTEST_SKIP() << "this machine shows no PCI bus";
    Freeze();
    const std::optional<ProgramResult> info = RunOnMachine({"--info"});
    if (!info) GTEST_SKIP() << "cannot run the program as an unprivileged user here";
    // No RIVA card can be reached without privileges, whatever this machine holds.
    EXPECT_EQ(info->status, 1) << info->err;
    EXPECT_EQ(info->out.rfind("Chipset: Unknown\nAutostart: off\n", 0), 0u) << info->out;
    ExpectOwnMessagesOnly(info->err);
    if (MachineHasVgaFunction(devices)) {
        // The standard header is all a normal user reads, and all discovery needs: what
        // stops it now is the card or its registers, never a missing privilege.
        EXPECT_EQ(info->err.find("CAP_"), std::string::npos) << info->err;
        EXPECT_EQ(info->err.find("root"), std::string::npos) << info->err;
    } else {
        EXPECT_NE(info->err.find("no VGA-compatible display adapter"), std::string::npos) << info->err;
    }

    const std::optional<ProgramResult> start = RunOnMachine({"RIVA_TNT", "120", "100"});
    ASSERT_TRUE(start);
    EXPECT_EQ(start->status, 1) << start->err;
    EXPECT_NE(start->err.find("tarvento: PCI/AGP access failed !\n"), std::string::npos) << start->err;
    ExpectOwnMessagesOnly(start->err);
    ExpectNothingWritten();  // the autostart folder was not even made
}

TEST_F(Unprivileged, DevicesFolderThatCannotBeListed) {
    tree.AddTnt(1, 0, 0, 0xE0000000);
    Lock(tree.Root() / "devices");
    ExpectRefusedWith("tarvento: cannot list " + tree.RootString() + "/devices: Permission denied\n");
}

TEST_F(Unprivileged, ConfigThatCannotBeRead) {
    tree.AddTnt(1, 0, 0, 0xE0000000);
    Lock(Dir(1) / "config");
    ExpectRefusedWith(
        "tarvento: cannot read the PCI configuration space of 0000:01:00.0: Permission denied\n");
}

TEST_F(Unprivileged, RegistersThatCannotBeOpened) {
    tree.AddTnt(1, 0, 0, 0xE0000000);
    Lock(Dir(1) / "resource0");
    // A machine without the group tarvento: the rule that would make one is not installed.
    // Where the machine has the group, the runs see a group database without it.
    if (!HideGroupTarvento() && ::getgrnam("tarvento") != nullptr)
        GTEST_SKIP() << "this machine has a group tarvento, and it cannot be hidden here";
    ExpectRefusedWith("tarvento: the group tarvento does not exist: the program's udev rule is not "
                      "installed\n");
}

}  // namespace
}  // namespace tarvento::testing
