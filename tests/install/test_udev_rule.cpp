// SPDX-License-Identifier: GPL-3.0-or-later
// The udev rule and the sysusers.d file as shipped: the rule opens exactly the cards the
// program recognises, with tools that exist, and the file creates the group.

#include <unistd.h>

#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "chip/chip_table.h"
#include "tests/install/install_support.h"
#include "tests/support/pci_id_printer.h"

namespace tarvento::testing {
namespace {

namespace fs = std::filesystem;

// As the build wrote it from the chip table.
const fs::path kRule = TARVENTO_UDEV_RULE;
const fs::path kSysusers = TARVENTO_SOURCE_DIR "/resources/sysusers/tarvento.conf";

std::vector<std::string> RuleLines() {
    std::ifstream in(kRule);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);)
        if (!line.empty() && line[0] != '#') lines.push_back(line);
    return lines;
}

TEST(UdevRule, ListsExactlyTheChipsTheProgramRecognises) {
    // Every line that names an id must be a whole card match, so none is skipped here.
    const std::regex card(
        R"re(ATTR\{vendor\}=="0x([0-9a-f]{4})", ATTR\{device\}=="0x([0-9a-f]{4})", GOTO="tarvento_card")re");
    std::set<PciId> inRule;
    for (const std::string& line : RuleLines()) {
        if (line.find("ATTR{vendor}") == std::string::npos && line.find("ATTR{device}") == std::string::npos)
            continue;
        std::smatch m;
        ASSERT_TRUE(std::regex_match(line, m, card)) << "not a card match: " << line;
        inRule.insert({static_cast<uint16_t>(std::stoul(m[1], nullptr, 16)),
                       static_cast<uint16_t>(std::stoul(m[2], nullptr, 16))});
    }
    const std::vector<PciId> supported = SupportedPciIds();
    EXPECT_EQ(inRule, std::set<PciId>(supported.begin(), supported.end()));

    // And the list is the chip table itself: every device of those vendors that the
    // program recognises, and only those.
    std::set<uint16_t> vendors;
    for (const PciId& id : supported) vendors.insert(id.vendorId);
    for (const PciId& id : inRule) vendors.insert(id.vendorId);
    std::set<PciId> recognised;
    for (const uint16_t vendor : vendors)
        for (uint32_t device = 0; device <= 0xFFFF; ++device)
            if (FindChipProfile(vendor, static_cast<uint16_t>(device)) != nullptr)
                recognised.insert({vendor, static_cast<uint16_t>(device)});
    EXPECT_EQ(inRule, recognised);
}

TEST(UdevRule, ChangesOnlyResource0WithToolsThatExist) {
    // GROUP=, MODE= and OWNER= act on /dev nodes only: here they would silently do nothing.
    // A RUN tool that does not exist would fail just as silently, at every boot.
    const std::regex run(R"re(RUN\+="(/[^ "]+) ([^"]+) /sys%p/resource0")re");
    std::set<std::string> commands;
    for (const std::string& line : RuleLines()) {
        for (const char* key : {"GROUP=", "MODE=", "OWNER="})
            EXPECT_EQ(line.find(key), std::string::npos) << line;
        for (auto it = std::sregex_iterator(line.begin(), line.end(), run);
             it != std::sregex_iterator(); ++it) {
            const std::string tool = (*it)[1];
            EXPECT_EQ(::access(tool.c_str(), X_OK), 0) << tool << " does not exist here";
            commands.insert(fs::path(tool).filename().string() + " " + (*it)[2].str());
        }
        if (line.find("RUN") != std::string::npos) {
            EXPECT_TRUE(std::regex_search(line, run)) << line;
        }
    }
    EXPECT_EQ(commands, (std::set<std::string>{"chgrp tarvento", "chmod 0660"}));
}

TEST(SysusersFile, CreatesTheSystemGroupTarvento) {
    const std::string sysusers = FindTool("systemd-sysusers");
    if (sysusers.empty()) GTEST_SKIP() << "systemd-sysusers is not installed";
    // Into a root folder of its own: the machine's groups are never touched.
    TempFolder root{0755};
    fs::create_directories(root.Path() / "etc");
    const ProgramResult r = RunProgram(sysusers, {"--root=" + root.Path().string(), kSysusers.string()}, {});
    ASSERT_EQ(r.status, 0) << r.err;
    std::ifstream group(root.Path() / "etc/group");
    std::string line;
    ASSERT_TRUE(std::getline(group, line));
    const std::regex entry(R"(tarvento:x:([0-9]+):)");
    std::smatch m;
    ASSERT_TRUE(std::regex_match(line, m, entry)) << line;
    EXPECT_LT(std::stoul(m[1]), 1000u) << "not a system group";
}

}  // namespace
}  // namespace tarvento::testing
