// SPDX-License-Identifier: GPL-3.0-or-later
// The explicit step that creates the group and re-applies the udev rule
// (TARVENTO_APPLY_RULES): run by `cmake --install` only without DESTDIR, in order, and a
// failed step fails the install. A tree configured with the option installs only its
// access files, into scratch folders, with stand-ins for systemd-sysusers and udevadm.
// The rule is written from the chip table when the tree is built: that tree is configured
// and built once, in the build folder, and configured again for each test's folders.

#include <sys/stat.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "tests/install/install_support.h"

namespace tarvento::testing {
namespace {

namespace fs = std::filesystem;

class ApplyRules : public ::testing::Test {
protected:
    TempFolder scratch{0755};
    fs::path build = TARVENTO_BINARY_DIR "/apply-rules-tree";
    fs::path machine = scratch.Path() / "machine";  // stands for / without DESTDIR
    fs::path log = scratch.Path() / "tools.log";

    void SetUp() override {
        // Each stand-in notes how it was called and answers FAKE_STATUS.
        fs::create_directories(scratch.Path() / "tools");
        for (const char* tool : {"systemd-sysusers", "udevadm"}) {
            const fs::path path = scratch.Path() / "tools" / tool;
            std::ofstream(path) << "#!/bin/sh\necho \"" << tool << " $*\" >> '" << log.string()
                                << "'\nexit ${FAKE_STATUS:-0}\n";
            ::chmod(path.c_str(), 0755);
        }
        const ProgramResult configured = RunProgram(
            TARVENTO_CMAKE,
            {"-S", TARVENTO_SOURCE_DIR, "-B", build.string(), "-DTARVENTO_APPLY_RULES=ON",
             "-DTARVENTO_BUILD_TESTS=OFF", "-DTARVENTO_BUILD_UI=OFF",
             "-DTARVENTO_UDEV_RULES_DIR=" + (machine / "rules.d").string(),
             "-DTARVENTO_SYSUSERS_DIR=" + (machine / "sysusers.d").string()},
            {}, {}, 120);
        ASSERT_EQ(configured.status, 0) << configured.out << configured.err;
        const ProgramResult built =
            RunProgram(TARVENTO_CMAKE, {"--build", build.string(), "--target", "tarvento_id_lists"}, {}, {}, 600);
        ASSERT_EQ(built.status, 0) << built.out << built.err;
    }

    ProgramResult Install(std::map<std::string, std::string> set) {
        const char* path = std::getenv("PATH");
        set["PATH"] = (scratch.Path() / "tools").string() + ":" + (path != nullptr ? path : "/usr/bin:/bin");
        std::vector<std::string> unset;
        if (!set.count("DESTDIR")) unset.push_back("DESTDIR");
        return RunProgram(TARVENTO_CMAKE, {"--install", build.string(), "--component", "tarvento-access"},
                          set, unset, 120);
    }

    std::string Calls() const {
        std::ifstream in(log);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }
};

TEST_F(ApplyRules, AStagedInstallAppliesNothing) {
    const fs::path stage = scratch.Path() / "stage";
    const ProgramResult r = Install({{"DESTDIR", stage.string()}});
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_EQ(Calls(), "") << "a staged install changed the machine";
    EXPECT_FALSE(fs::exists(machine));
    EXPECT_TRUE(fs::is_regular_file(stage / (machine / "rules.d/70-tarvento.rules").relative_path()));
    EXPECT_TRUE(fs::is_regular_file(stage / (machine / "sysusers.d/tarvento.conf").relative_path()));
}

TEST_F(ApplyRules, AnInstallCreatesTheGroupThenReappliesTheRule) {
    const ProgramResult r = Install({});
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_TRUE(fs::is_regular_file(machine / "rules.d/70-tarvento.rules"));
    // The group before the rule that names it; udev reads the new rule before the trigger.
    EXPECT_EQ(Calls(), "systemd-sysusers " + (machine / "sysusers.d/tarvento.conf").string() +
                           "\nudevadm control --reload\n"
                           "udevadm trigger --action=add --subsystem-match=pci --attr-match=class=0x0300*\n");
}

TEST_F(ApplyRules, AFailedStepFailsTheInstall) {
    const ProgramResult r = Install({{"FAKE_STATUS", "1"}});
    EXPECT_NE(r.status, 0) << "a failed step reported as success";
    EXPECT_NE((r.out + r.err).find("failed"), std::string::npos) << r.out << r.err;
    EXPECT_EQ(Calls(), "systemd-sysusers " + (machine / "sysusers.d/tarvento.conf").string() + "\n")
        << "went on after a failed step";
}

}  // namespace
}  // namespace tarvento::testing
