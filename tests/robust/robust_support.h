// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/private_mounts.h"
#include "tests/support/program_runner.h"
#include "tests/support/staged_build.h"
#include "tests/support/virtual_tree.h"

namespace tarvento::testing {

// Every file and folder under a root, with what could change: kind, mode, size and a
// digest of the bytes.
struct TreeEntry {
    char kind = '?';  // 'f' file, 'd' folder, 'l' link, 'p' FIFO, '?' other
    mode_t mode = 0;
    uint64_t size = 0;
    std::size_t digest = 0;
    friend bool operator==(const TreeEntry&, const TreeEntry&) = default;
};
using TreeSnapshot = std::map<std::string, TreeEntry>;

TreeSnapshot SnapshotTree(const std::filesystem::path& root);
// The paths that appeared, vanished or changed, one a line; empty when none did.
std::string DescribeChanges(const TreeSnapshot& before, const TreeSnapshot& after);

inline constexpr uid_t kNobody = 65534;

// Gives everyone read access to a tree and passage through its folders, so that a test
// can run a process as nobody on it.
void OpenToEveryone(const std::filesystem::path& root);

struct ChildResult {
    int status = -1;  // exit status, or -1 when a signal ended the child
    int signal = 0;   // the signal that ended it, or 0
    std::string out;  // what the child wrote to the descriptor it was given
};

// Runs `body` in a forked child, which writes what it wants the test to see to the
// descriptor it is given and returns its exit status. With `asNobody` the child first
// becomes nobody when the tests run as root (root is not bound by permission bits).
// Nothing when the child could not drop its privileges.
std::optional<ChildResult> RunInChild(const std::function<int(int outFd)>& body, bool asNobody);

// Writes text to a descriptor, whole.
void WriteText(int fd, const std::string& text);

// The program RunProgramUnprivileged runs: the build's own for a user, the copy that
// nobody can reach (StagedProgram) for root.
std::string UnprivilegedProgram();

// The built program run as nobody when the tests run as root (through setpriv or
// runuser), else as the user; seeing `groupFile` as /etc/group when one is given (root
// only, see SeeingGroupDatabase). Nothing when that cannot be arranged here.
std::optional<ProgramResult> RunProgramUnprivileged(const std::vector<std::string>& args,
                                                    const std::map<std::string, std::string>& set,
                                                    const std::vector<std::string>& unset,
                                                    const std::filesystem::path& groupFile = {});

// The group tarvento as a test stages it, whatever this machine's group database says
// (every machine where the package was installed has one, of any gid).
struct StagedGroup {
    gid_t gid;
    std::string members;  // comma-separated user names, as in /etc/group
};

// Writes a copy of this machine's /etc/group without its line for the group tarvento, if
// any, and with one for `group` when given, readable by everyone. False when it could not.
bool WriteGroupDatabase(const std::filesystem::path& file, const std::optional<StagedGroup>& group);

// `command` (program first) wrapped so that it sees `groupFile` as /etc/group: a private
// mount namespace (root, InPrivateMounts), so that the machine's own file is never touched.
std::vector<std::string> SeeingGroupDatabase(const std::filesystem::path& groupFile,
                                             const std::vector<std::string>& command);

// Whether this process can make the private mount namespace SeeingGroupDatabase needs
// (WhyNoPrivateMounts says why not).
bool CanStageGroupDatabase();

// The first gid from `from` up that names no group on this machine.
gid_t UnusedGid(gid_t from);

// The environment names that would give the program a display.
extern const std::vector<std::string> kDisplayVariables;

// A virtual tree, an autostart folder inside it (never the machine's own), and the
// check that nothing in either was written.
class TreeTest : public ::testing::Test {
protected:
    VirtualTree tree;
    std::filesystem::path xdg = tree.Root() / "xdg";
    std::filesystem::path configHome = tree.Root() / "config";
    TreeSnapshot before;

    std::filesystem::path Dir(uint8_t bus, uint8_t device = 0, uint8_t function = 0) const {
        return tree.SlotDir(bus, device, function);
    }
    std::map<std::string, std::string> Environment() const {
        return {{"TARVENTO_SYSFS_ROOT", tree.RootString()},
                {"XDG_CONFIG_DIRS", xdg.string()},
                {"XDG_CONFIG_HOME", configHome.string()}};
    }

    // Everything as it stands now is what must still be there at the end.
    void Freeze() { before = SnapshotTree(tree.Root()); }
    void ExpectNothingWritten() {
        const TreeSnapshot after = SnapshotTree(tree.Root());
        EXPECT_TRUE(after == before) << DescribeChanges(before, after);
    }

    // The built program on the tree, without a display.
    ProgramResult Run(const std::vector<std::string>& args) {
        return RunProgram(TARVENTO_PROGRAM, args, Environment(), kDisplayVariables);
    }
};

}  // namespace tarvento::testing
