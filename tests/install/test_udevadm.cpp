// SPDX-License-Identifier: GPL-3.0-or-later
// The rule as udev itself reads it: `udevadm test` simulates an event on a real PCI device
// of this machine and lists the RUN commands it would execute, without executing them. The
// rule goes into a private mount namespace, over a copy of the local rules folder, so that
// no other process sees it.

#include <unistd.h>

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

struct PciDevice {
    fs::path sysfs;      // /sys/devices/...
    std::string vendor;  // 0x1af4
    std::string device;
    std::string pciClass;  // 0x020000
};

class UdevadmTest : public ::testing::Test {
protected:
    std::string udevadm = FindTool("udevadm");
    std::string mount = FindTool("mount");
    std::vector<PciDevice> devices;
    ScratchFolder scratch;

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

    // The `run:` lines of a simulated event with `rule` among the local rules.
    std::string RunCommands(const std::string& rule, const PciDevice& device, const std::string& action) {
        const fs::path rules = scratch.Path() / "rules.d";
        fs::remove_all(rules);
        fs::copy(kLocalRules, rules, fs::copy_options::recursive);
        std::ofstream(rules / "70-tarvento.rules") << rule;
        const std::string script = "'" + mount + "' --bind '" + rules.string() + "' '" + kLocalRules.string() +
                                   "' && exec '" + udevadm + "' test --action=" + action + " '" +
                                   device.sysfs.string() + "'";
        std::vector<std::string> command = InPrivateMounts({"/bin/sh", "-c", script});
        const std::string program = command.front();
        command.erase(command.begin());
        const ProgramResult r = RunProgram(program, command, {}, {}, 60);
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_NE((r.out + r.err).find("70-tarvento.rules"), std::string::npos) << "the rule was not read";
        std::string runs;
        for (const std::string& line : Lines(r.out + r.err))
            if (line.rfind("run: ", 0) == 0) runs += line + "\n";
        return runs;
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
            EXPECT_EQ(RunCommands(ShippedRule(), device, action).find("resource0"), std::string::npos)
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
        std::string ours;  // the device's other rules may run commands of their own
        for (const std::string& line : Lines(RunCommands(rule, target, action)))
            if (line.find("resource0") != std::string::npos) ours += line + "\n";
        EXPECT_EQ(ours, "run: '/bin/chgrp tarvento " + resource0 + "'\nrun: '/bin/chmod 0660 " + resource0 + "'\n")
            << action;
    }
    EXPECT_EQ(RunCommands(rule, target, "change").find("resource0"), std::string::npos);
    for (const PciDevice& other : devices) {
        if (other.vendor == target.vendor && other.device == target.device && other.pciClass == target.pciClass) continue;
        EXPECT_EQ(RunCommands(rule, other, "add").find("resource0"), std::string::npos) << other.sysfs;
    }
}

}  // namespace
}  // namespace tarvento::testing
