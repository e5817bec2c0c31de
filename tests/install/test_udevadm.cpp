// SPDX-License-Identifier: GPL-3.0-or-later
// The rule as udev itself reads it: `udevadm test` simulates an event on a real PCI device
// of this machine and lists the RUN commands it would execute, without executing them. The
// rule goes into a private mount namespace, over a copy of the local rules folder, so that
// no other process sees it.

#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "tests/install/install_support.h"
#include "tests/support/private_mounts.h"

namespace tarvento::testing {
namespace {

namespace fs = std::filesystem;

// As the build wrote it from the chip table.
const fs::path kRule = TARVENTO_UDEV_RULE;
const fs::path kLocalRules = "/etc/udev/rules.d";

std::string ReadLine(const fs::path& file) {
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    return line;
}

// The commands a simulated event would run, as `udevadm test` lists them: until systemd
// 256 one "run: '/bin/chgrp ...'" line each, from 257 on one "  RUN{program} : /bin/chgrp
// ..." line each under "Queued commands:" (builtins as RUN{builtin}).
std::vector<std::string> QueuedCommands(const std::string& output) {
    std::vector<std::string> commands;
    bool queued = false;
    for (const std::string& line : Lines(output)) {
        if (line.starts_with("run: '") && line.ends_with("'")) {
            commands.push_back(line.substr(6, line.size() - 7));
        } else if (line == "Queued commands:") {
            queued = true;
        } else if (queued && line.starts_with("  RUN{") && line.find("} : ") != std::string::npos) {
            commands.push_back(line.substr(line.find("} : ") + 4));
        } else if (!line.starts_with("  ")) {
            queued = false;
        }
    }
    return commands;
}

TEST(UdevadmOutput, BothFormsOfTheQueuedCommandsAreRead) {
    const std::vector<std::string> expected = {"/bin/chgrp tarvento /sys/devices/x/resource0",
                                               "/bin/chmod 0660 /sys/devices/x/resource0", "kmod load"};
    // systemd 252 (Debian 12)
    EXPECT_EQ(QueuedCommands("0000:00:02.0: /etc/udev/rules.d/70-tarvento.rules:2 RUN '/bin/chgrp tarvento /sys%p/resource0'\n"
                             "Properties:\n  ACTION=add\n"
                             "run: '/bin/chgrp tarvento /sys/devices/x/resource0'\n"
                             "run: '/bin/chmod 0660 /sys/devices/x/resource0'\n"
                             "run: 'kmod load'\n"),
              expected);
    // systemd 257 (Debian 13)
    EXPECT_EQ(QueuedCommands("Properties:\n  ACTION=add\n  ID_PROCESSING=1\n"
                             "Queued commands:\n"
                             "  RUN{program} : /bin/chgrp tarvento /sys/devices/x/resource0\n"
                             "  RUN{program} : /bin/chmod 0660 /sys/devices/x/resource0\n"
                             "  RUN{builtin} : kmod load\n"
                             "Unload module index\n  RUN{program} : not listed\n"),
              expected);
}

struct PciDevice {
    fs::path sysfs;      // /sys/devices/...
    std::string vendor;  // 0x1af4
    std::string device;
    std::string pciClass;  // 0x020000
};

// A rule that queues this command on every event: the proof that the output was read.
constexpr const char* kProbe = "/bin/true tarvento-probe";

class UdevadmTest : public ::testing::Test {
protected:
    std::string udevadm = FindTool("udevadm");
    std::string mount = FindTool("mount");
    std::vector<PciDevice> devices;
    TempFolder scratch{0755};

    void SetUp() override {
        if (::geteuid() != 0) GTEST_SKIP() << "a private mount namespace needs root";
        if (udevadm.empty() || mount.empty()) GTEST_SKIP() << "needs udevadm and mount";
        if (!WhyNoPrivateMounts().empty()) GTEST_SKIP() << WhyNoPrivateMounts();
        if (!fs::is_directory(kLocalRules)) GTEST_SKIP() << kLocalRules << " does not exist";
        std::error_code ec;
        for (const auto& e : fs::directory_iterator("/sys/bus/pci/devices", ec)) {
            devices.push_back({fs::canonical(e.path(), ec), ReadLine(e.path() / "vendor"),
                               ReadLine(e.path() / "device"), ReadLine(e.path() / "class")});
        }
        if (devices.empty()) GTEST_SKIP() << "this machine shows no PCI device";
    }

    // The commands a simulated event queues with `rule` among the local rules, but the probe.
    std::vector<std::string> RunCommands(const std::string& rule, const PciDevice& device, const std::string& action) {
        const fs::path rules = scratch.Path() / "rules.d";
        fs::remove_all(rules);
        fs::copy(kLocalRules, rules, fs::copy_options::recursive);
        std::ofstream(rules / "70-tarvento.rules") << rule;
        std::ofstream(rules / "99-tarvento-probe.rules") << "RUN+=\"" << kProbe << "\"\n";
        const std::string script = "'" + mount + "' --bind '" + rules.string() + "' '" + kLocalRules.string() +
                                   "' && exec '" + udevadm + "' test --action=" + action + " '" +
                                   device.sysfs.string() + "'";
        std::vector<std::string> command = InPrivateMounts({"/bin/sh", "-c", script});
        const std::string program = command.front();
        command.erase(command.begin());
        const ProgramResult r = RunProgram(program, command, {}, {}, 60);
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_NE((r.out + r.err).find("70-tarvento.rules"), std::string::npos) << "the rule was not read";
        std::vector<std::string> commands = QueuedCommands(r.out + r.err);
        const auto probe = std::find(commands.begin(), commands.end(), kProbe);
        if (probe == commands.end()) {
            ADD_FAILURE() << "no queued command was read from udevadm test " << action << " " << device.sysfs
                          << ":\n" << r.out << r.err;
        } else {
            commands.erase(probe);
        }
        return commands;
    }

    // The commands of `commands` that touch a resource0.
    static std::vector<std::string> OnResource0(const std::vector<std::string>& commands) {
        std::vector<std::string> ours;
        for (const std::string& c : commands)
            if (c.find("resource0") != std::string::npos) ours.push_back(c);
        return ours;
    }
};

std::string ShippedRule() {
    std::ifstream in(kRule);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string Replace(std::string text, const std::string& from, const std::string& to) {
    const size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    if (at != std::string::npos) text.replace(at, from.size(), to);
    return text;
}

TEST_F(UdevadmTest, TheShippedRuleLeavesThisMachinesDevicesAlone) {
    for (const PciDevice& device : devices) {
        for (const char* action : {"add", "bind"}) {
            EXPECT_EQ(OnResource0(RunCommands(ShippedRule(), device, action)), std::vector<std::string>{})
                << device.sysfs << " " << device.vendor << ":" << device.device;
        }
    }
}

TEST_F(UdevadmTest, TheRuleFiresForItsIdsOnAddAndBindOnly) {
    // The rule with its first card's ids and class made those of a device of this machine.
    const PciDevice& target = devices.front();
    std::string rule = Replace(ShippedRule(), R"(ATTR{vendor}=="0x10de", ATTR{device}=="0x0018")",
                               "ATTR{vendor}==\"" + target.vendor + "\", ATTR{device}==\"" + target.device + "\"");
    rule = Replace(rule, R"(ATTR{class}!="0x0300??")", "ATTR{class}!=\"" + target.pciClass.substr(0, 6) + "??\"");

    const std::string resource0 = (target.sysfs / "resource0").string();  // /sys%p/resource0
    for (const char* action : {"add", "bind"}) {
        // The device's other rules may run commands of their own.
        EXPECT_EQ(OnResource0(RunCommands(rule, target, action)),
                  (std::vector<std::string>{"/bin/chgrp tarvento " + resource0, "/bin/chmod 0660 " + resource0}))
            << action;
    }
    EXPECT_EQ(OnResource0(RunCommands(rule, target, "change")), std::vector<std::string>{});
    for (const PciDevice& other : devices) {
        if (other.vendor == target.vendor && other.device == target.device && other.pciClass == target.pciClass) continue;
        EXPECT_EQ(OnResource0(RunCommands(rule, other, "add")), std::vector<std::string>{}) << other.sysfs;
    }
}

}  // namespace
}  // namespace tarvento::testing
