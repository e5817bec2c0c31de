// SPDX-License-Identifier: GPL-3.0-or-later
// The mount namespace the tests mount over the machine's files in: what is mounted there
// never reaches the machine, and everything else is where it was. Run in a chroot whose
// root is not a mount point, this covers the copy the namespace is made from there.

#include <sys/mount.h>
#include <unistd.h>

#include <climits>
#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "tests/robust/robust_support.h"
#include "tests/support/temp_folder.h"

namespace tarvento::testing {
namespace {

namespace fs = std::filesystem;

TEST(PrivateMounts, WhatAChildMountsStaysWithItAndItSeesTheSameFiles) {
    if (!WhyNoPrivateMounts().empty()) GTEST_SKIP() << WhyNoPrivateMounts();
    TempFolder tmp;
    const fs::path over = tmp.Path() / "over";
    fs::create_directories(over);
    WriteFile(tmp.Path() / "before", "the machine's");
    char cwd[PATH_MAX];
    ASSERT_NE(::getcwd(cwd, sizeof cwd), nullptr);

    const std::optional<ChildResult> child = RunInChild(
        [&](int out) {
            if (const std::string why = EnterPrivateMounts(); !why.empty()) {
                WriteText(out, why);
                return 1;
            }
            char childCwd[PATH_MAX];
            std::string report = std::string("cwd ") + (::getcwd(childCwd, sizeof childCwd) ? childCwd : "?") + "\n";
            report += "before " + ReadFile(tmp.Path() / "before").value_or("<none>") + "\n";
            if (::mount("tmpfs", over.c_str(), "tmpfs", 0, "size=64k") != 0) return 2;
            WriteFile(over / "inside", "the namespace's");
            report += "inside " + ReadFile(over / "inside").value_or("<none>") + "\n";
            WriteText(out, report);
            return 0;
        },
        false);
    ASSERT_TRUE(child);
    ASSERT_EQ(child->status, 0) << child->out;
    EXPECT_EQ(child->out, std::string("cwd ") + cwd + "\nbefore the machine's\ninside the namespace's\n");
    // The tmpfs went with the child: the folder under it is as empty as it was.
    EXPECT_TRUE(fs::is_empty(over));
    std::ifstream mounts("/proc/self/mountinfo");
    for (std::string line; std::getline(mounts, line);)
        EXPECT_EQ(line.find(" " + over.string() + " "), std::string::npos) << line;
}

}  // namespace
}  // namespace tarvento::testing
